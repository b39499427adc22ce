// The card in place, without a page load: the form's query asks the server for
// the result page, whose error and result parts replace this page's. The server
// writes (and escapes) every text; this script only moves its parts.
'use strict';
(function () {
  const form = document.getElementById('form');
  if (!form || !window.fetch || !window.DOMParser) return;
  let cardBlob = null;

  function showShareButton() {
    const button = document.getElementById('share');
    const img = document.getElementById('card');
    if (!button || !img || !img.getAttribute('src') || !navigator.canShare) return;
    button.addEventListener('click', async function () {
      try {
        if (!cardBlob) cardBlob = await (await fetch(img.getAttribute('src'))).blob();
        const file = new File([cardBlob], 'mirelune-card.png', { type: 'image/png' });
        await navigator.share({ files: [file], title: 'Mirelune', text: img.alt });
      } catch (e) {
        // The user closed the share sheet, or the system refused: the links stay.
      }
    });
    if (navigator.canShare({ files: [new File([new Blob()], 'mirelune-card.png', { type: 'image/png' })] }))
      button.hidden = false;
  }

  async function show(query, push) {
    const button = document.getElementById('make');
    button.disabled = true;
    try {
      const answer = await fetch('/card?' + query, { headers: { Accept: 'text/html' } });
      const page = new DOMParser().parseFromString(await answer.text(), 'text/html');
      // The parts stay in place (a live region must exist before it changes);
      // their contents and visibility come from the answer.
      for (const id of ['error', 'result']) {
        const part = page.getElementById(id);
        const here = document.getElementById(id);
        if (!part || !here) continue;
        here.replaceChildren(...Array.from(part.childNodes).map((node) => document.adoptNode(node)));
        here.hidden = part.hidden;
      }
      document.title = page.title;
      cardBlob = null;
      if (push) history.pushState({ query: query }, '', '/card?' + query);
      if (answer.ok) {
        const link = document.getElementById('share-link');
        link.textContent = new URL(link.getAttribute('href'), location.href).href;
        showShareButton();
        document.getElementById('result-title').focus();
      } else {
        document.getElementById('friend').focus();
      }
    } catch (e) {
      const error = document.getElementById('error');
      error.textContent = 'The server cannot be reached; please try again.';
      error.hidden = false;
    } finally {
      button.disabled = false;
    }
  }

  form.addEventListener('submit', function (event) {
    event.preventDefault();
    show(new URLSearchParams(new FormData(form)).toString(), true);
  });
  window.addEventListener('popstate', function () {
    const query = location.search.slice(1);
    if (location.pathname === '/card' && query) {
      show(query, false);
    } else {  // back on the empty form
      document.getElementById('result').hidden = true;
      document.getElementById('error').hidden = true;
    }
  });
  const link = document.getElementById('share-link');
  if (link && link.getAttribute('href')) link.textContent = new URL(link.getAttribute('href'), location.href).href;
  showShareButton();
})();
