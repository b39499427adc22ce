// The card in place, without a page load: the form's query asks the server for
// the result page, whose error and result parts replace this page's. The server
// writes (and escapes) every text; this script only moves its parts, and says
// at once, beside the field, when a name is missing.
'use strict';
(function () {
  const form = document.getElementById('form');
  if (!form || !window.fetch || !window.DOMParser) return;
  let cardBlob = null;
  // The parts an answer brings: the form's message, the card, a message per field.
  const fields = ['friend', 'sender', 'wish', 'year', 'max-styles'];
  const parts = ['error', 'result'].concat(fields.map((f) => f + '-error'));
  const names = { friend: "Please type your friend's name.", sender: 'Please type your name.' };

  function showShareButton() {
    const button = document.getElementById('share');
    const img = document.getElementById('card');
    if (!button || !img || !img.getAttribute('src') || !navigator.canShare) return;
    const name = document.getElementById('png').getAttribute('download') || 'mirelune-card.png';
    button.onclick = async function () {
      try {
        if (!cardBlob) cardBlob = await (await fetch(img.getAttribute('src'))).blob();
        const file = new File([cardBlob], name, { type: 'image/png' });
        await navigator.share({ files: [file], title: 'Mirelune', text: img.alt });
      } catch (e) {
        // The user closed the share sheet, or the system refused: the links stay.
      }
    };
    if (navigator.canShare({ files: [new File([new Blob()], name, { type: 'image/png' })] })) button.hidden = false;
  }

  function fieldError(id, text) {
    const input = document.getElementById(id);
    const message = document.getElementById(id + '-error');
    message.textContent = text;
    message.hidden = !text;
    if (text) input.setAttribute('aria-invalid', 'true');
    else input.removeAttribute('aria-invalid');
  }

  function showLink() {
    const link = document.getElementById('share-link');
    if (link && link.getAttribute('href')) link.textContent = new URL(link.getAttribute('href'), location.href).href;
  }

  async function show(url, push) {
    const button = document.getElementById('make');
    button.disabled = true;
    try {
      const answer = await fetch(url, { headers: { Accept: 'text/html' } });
      const page = new DOMParser().parseFromString(await answer.text(), 'text/html');
      // The parts stay in place (a live region must exist before it changes);
      // their contents and visibility come from the answer.
      for (const id of parts) {
        const part = page.getElementById(id);
        const here = document.getElementById(id);
        if (!part || !here) continue;
        here.replaceChildren(...Array.from(part.childNodes).map((node) => document.adoptNode(node)));
        here.hidden = part.hidden;
      }
      for (const id of fields) {
        const there = page.getElementById(id);
        const here = document.getElementById(id);
        if (!there || !here) continue;
        if (there.hasAttribute('aria-invalid')) here.setAttribute('aria-invalid', 'true');
        else here.removeAttribute('aria-invalid');
      }
      document.title = page.title;
      cardBlob = null;
      const link = document.getElementById('share-link');
      if (push) history.pushState({}, '', answer.ok ? link.getAttribute('href') : url);
      if (answer.ok) {
        showLink();
        showShareButton();
        document.getElementById('result-title').focus();
      } else {
        const bad = fields.find((f) => document.getElementById(f).hasAttribute('aria-invalid'));
        document.getElementById(bad || 'friend').focus();
      }
    } catch (e) {
      const error = document.getElementById('error');
      error.textContent = 'The server cannot be reached; please try again.';
      error.hidden = false;
    } finally {
      button.disabled = false;
    }
  }

  function submit() {
    let first = null;
    for (const id of fields) {
      const blank = id in names && document.getElementById(id).value.trim() === '';
      fieldError(id, blank ? names[id] : '');
      if (blank && !first) first = id;
    }
    if (first) {  // nothing to ask the server: the message is beside the field
      document.getElementById('error').hidden = true;
      document.getElementById(first).focus();
      return;
    }
    show('/card?' + new URLSearchParams(new FormData(form)).toString(), true);
  }

  form.addEventListener('submit', function (event) {
    event.preventDefault();
    submit();
  });
  // An example fills the form with its names and palette, then makes its card.
  for (const example of document.querySelectorAll('.example')) {
    example.addEventListener('click', function (event) {
      event.preventDefault();
      form.elements.friend.value = example.dataset.friend;
      form.elements.sender.value = example.dataset.sender;
      form.elements.year.value = example.dataset.year;
      form.elements.wish.value = '';
      const palette = form.querySelector('input[name="palette"][value="' + example.dataset.palette + '"]');
      if (palette) palette.checked = true;
      submit();
    });
  }
  window.addEventListener('popstate', function () {
    if (location.pathname.startsWith('/card/') || (location.pathname === '/card' && location.search)) {
      show(location.pathname + location.search, false);
    } else {  // back on the empty form
      document.getElementById('result').hidden = true;
      document.getElementById('error').hidden = true;
    }
  });
  showLink();
  showShareButton();
})();
