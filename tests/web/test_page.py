"""The page of `mirelune-cli serve` in headless Chromium, at a phone's width (375
pixels, with and without JavaScript) and a desktop's (1280): by keyboard alone
the card it shows is the bytes `mirelune-cli card` writes; its alternative text
and the line under it are the greeting; the share link is /card/F/S/Y and makes
it again; a blank name is answered beside its field (with JavaScript, without
asking the server); the examples fill the form; a swatch picks the palette; the
downloads are named after the names; dark mode applies; no console errors, no
CSP reports. Screenshots go to $MIRELUNE_SCREENSHOTS when it is set.
Usage: test_page.py MIRELUNE_CLI (exit 77 when Chromium or Selenium is missing)."""
import datetime, os, re, shutil, subprocess, sys, tempfile, threading, urllib.parse, urllib.request

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    sys.exit(77)
if not (shutil.which("chromium") and os.path.exists("/usr/bin/chromedriver")):
    sys.exit(77)

CLI = sys.argv[1]
now = datetime.datetime.now(datetime.timezone.utc)
YEAR = now.year + (1 if now.month >= 10 else 0)
SHOTS = os.environ.get("MIRELUNE_SCREENSHOTS")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def browser(javascript, home, width):
    o = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--user-data-dir=" + home):
        o.add_argument(flag)
    if width < 600:
        o.add_experimental_option("mobileEmulation",
                                  {"deviceMetrics": {"width": width, "height": 812, "pixelRatio": 1}})
    else:
        o.add_argument(f"--window-size={width},1000")
    o.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    if not javascript:
        o.add_experimental_option("prefs", {"profile.managed_default_content_settings.javascript": 2})
    d = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=o)
    d.set_page_load_timeout(60)
    d.set_script_timeout(60)
    return d


def card_bytes(friend, sender, *more):
    return subprocess.run([CLI, "card", "--friend", friend, "--sender", sender, "--year", str(YEAR), "--out", "-",
                           "--format", "png", *more], capture_output=True, timeout=60, check=True).stdout


def shot(d, name):
    if SHOTS:
        d.save_screenshot(os.path.join(SHOTS, name + ".png"))


def wait_shown(d):
    WebDriverWait(d, 60).until(lambda d: d.find_element(By.ID, "result").is_displayed()
                               or d.find_element(By.ID, "error").is_displayed()
                               or d.find_element(By.ID, "friend-error").is_displayed())
    img = d.find_element(By.ID, "card")
    if img.is_displayed():
        WebDriverWait(d, 60).until(lambda d: d.execute_script("return arguments[0].complete", img))
    return img


def keyboard_flow(d, base, friend, sender, wish=""):
    """Tab to each field, type, Enter: the card (or the message) appears."""
    d.get(base + "/")
    d.find_element(By.TAG_NAME, "body").send_keys(Keys.TAB)
    for text in (friend, sender, wish):
        d.switch_to.active_element.send_keys(text)
        d.switch_to.active_element.send_keys(Keys.TAB)
    check(d.switch_to.active_element.get_attribute("id") == "year", "the fourth field by Tab is the year")
    check(d.switch_to.active_element.get_attribute("value") == str(YEAR), "the year defaults to the coming one")
    d.switch_to.active_element.send_keys(Keys.ENTER)
    return wait_shown(d)


def card_requests(d):
    return d.execute_script("return performance.getEntriesByType('resource')"
                            ".filter(e => new URL(e.name).pathname.startsWith('/card')).length")


def run(javascript, base, home, width):
    d = browser(javascript, home, width)
    tag = ("with JavaScript" if javascript else "without JavaScript") + f" at {width} px"
    name = ("js" if javascript else "nojs") + f"-{width}"
    try:
        # The gallery: its previews are small cards, each a link to its card.
        d.get(base + "/")
        examples = d.find_elements(By.CSS_SELECTOR, "#gallery .example")
        check(len(examples) == 4, tag + ": four examples")
        for img in d.find_elements(By.CSS_SELECTOR, "#gallery img"):
            d.execute_script("arguments[0].scrollIntoView()", img)
            WebDriverWait(d, 60).until(lambda d: d.execute_script("return arguments[0].complete", img))
            check(d.execute_script("return arguments[0].naturalWidth", img) == 288, tag + ": a preview is 288 wide")
        check(re.fullmatch(r"/card/[^/]+/[^/]+/\d+\?palette=\d+",
                           urllib.parse.urlparse(examples[0].get_attribute("href")).path + "?" +
                           urllib.parse.urlparse(examples[0].get_attribute("href")).query) is not None,
              tag + ": an example links its card: " + examples[0].get_attribute("href"))
        d.execute_script("window.scrollTo(0, 0)")
        shot(d, name + "-start")

        # A blank name: the message beside the field; with JavaScript no request.
        before = card_requests(d) if javascript else 0
        keyboard_flow(d, base, "  ", "Bob")
        error = d.find_element(By.ID, "friend-error")
        check(error.is_displayed() and error.text == "Please type your friend's name.", tag + ": " + error.text)
        check(d.find_element(By.ID, "friend").get_attribute("aria-invalid") == "true", tag + ": the field is marked")
        check(not d.find_element(By.ID, "result").is_displayed(), tag + ": no card for a blank name")
        if javascript:
            check(card_requests(d) == before, tag + ": a blank name asks the server nothing")
            check(d.switch_to.active_element.get_attribute("id") == "friend", tag + ": focus goes to the field")
        shot(d, name + "-blank")

        friend, sender, wish = "Zoë <b>&", "Bob", "may your days be bright"
        img = keyboard_flow(d, base, friend, sender, wish)
        check(d.execute_script("return arguments[0].naturalWidth", img) == 896, tag + ": the card is shown")
        greeting = f"dear {friend}, {wish} {sender} mirelune.art"  # the wish stands for the year's words
        check(img.get_attribute("alt") == greeting, tag + ": the alternative text is the greeting: " + img.get_attribute("alt"))
        check(d.find_element(By.ID, "greeting").text == greeting, tag + ": the greeting is under the card")
        shown = urllib.request.urlopen(img.get_attribute("src"), timeout=60).read()
        check(shown == card_bytes(friend, sender, "--wish", wish), tag + ": the card shown is the bytes `card` writes")
        if javascript:
            check(d.switch_to.active_element.get_attribute("id") == "result-title", tag + ": focus moves to the card")
        check(d.execute_script("return document.documentElement.scrollWidth") <= width, tag + ": fits the width")
        check(img.rect["width"] <= width, tag + ": the card scales to the width")
        shot(d, name + "-card")

        share = d.find_element(By.ID, "share-link").get_attribute("href")
        check(urllib.parse.urlparse(share).path == f"/card/Zo%C3%AB%20%3Cb%3E%26/Bob/{YEAR}",
              tag + ": the share link is /card/F/S/Y: " + share)
        d.get(share)
        img = wait_shown(d)
        again = urllib.request.urlopen(img.get_attribute("src"), timeout=60).read()
        check(again == shown, tag + ": the share link makes the same card")
        check(d.find_element(By.ID, "friend").get_attribute("value") == friend, tag + ": the share link fills the form")

        # An example fills the form; with JavaScript its card appears in place.
        d.get(base + "/")
        example = d.find_elements(By.CSS_SELECTOR, "#gallery .example")[0]
        if javascript:
            d.execute_script("arguments[0].scrollIntoView()", example)
            example.click()
        else:  # a plain link: followed as the browser would (chromedriver's click waits on it without end)
            d.get(example.get_attribute("href"))
        img = wait_shown(d)
        check(d.find_element(By.ID, "friend").get_attribute("value") == "Mary", tag + ": the example fills the form")
        check("palette=3" in img.get_attribute("src"), tag + ": the example's palette: " + img.get_attribute("src"))
        png = d.find_element(By.ID, "png")
        check(png.get_attribute("download") == "Mary-from-Bob.png", tag + ": the download's name")
        answer = urllib.request.urlopen(png.get_attribute("href"), timeout=60)
        check(answer.headers["Content-Disposition"] == 'attachment; filename="Mary-from-Bob.png"',
              tag + ": the download is named Mary-from-Bob.png: " + str(answer.headers["Content-Disposition"]))

        # A swatch picks the palette (chromedriver's clicks wait without end where scripts are off).
        if javascript:
            d.get(base + "/")
            d.find_element(By.TAG_NAME, "summary").click()
            d.find_element(By.ID, "friend").send_keys("Mary")
            d.find_element(By.ID, "sender").send_keys("Bob")
            swatch = d.find_element(By.CSS_SELECTOR, ".swatch:has(input[value='7'])")
            check(swatch.find_element(By.CSS_SELECTOR, ".strip").value_of_css_property("background-image")
                  .startswith("linear-gradient(90deg, rgb(0, 255, 0) 0%"), tag + ": palette 7's swatch shows its colours")
            swatch.click()
            shot(d, name + "-palettes")
            d.find_element(By.ID, "make").click()
            img = wait_shown(d)
            check("palette=7" in img.get_attribute("src"), tag + ": the swatch sets the palette")

        # Dark mode.
        d.execute_cdp_cmd("Emulation.setEmulatedMedia",
                          {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        check(d.execute_script("return getComputedStyle(document.body).backgroundColor") == "rgb(21, 19, 31)",
              tag + ": dark background")
        check(d.execute_script("return getComputedStyle(document.body).color") == "rgb(236, 232, 245)",
              tag + ": light text in dark mode")
        shot(d, name + "-dark")
        d.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

        for entry in d.get_log("browser"):
            if not javascript and "/card?friend=++&" in entry["message"] and "status of 400" in entry["message"]:
                continue  # the plain form's blank name: the page with the message comes as a 400, as it must
            check(entry["level"] not in ("SEVERE", "WARNING"), tag + ": console: " + entry["message"])
            check("Content Security Policy" not in entry["message"], tag + ": CSP report: " + entry["message"])
    finally:
        d.quit()


def main():
    work = tempfile.mkdtemp(prefix="mirelune-page-")
    server = subprocess.Popen([CLI, "serve", "--listen", "127.0.0.1:0", "--jobs", "2"] +
                              (["--allow-root"] if os.geteuid() == 0 else []), stderr=subprocess.PIPE, text=True)
    try:
        first = server.stderr.readline()
        port = re.search(r"serving on 127\.0\.0\.1:(\d+)", first)
        if not port:
            print("the server did not start:", first)
            return 1
        base = "http://127.0.0.1:" + port.group(1)
        threading.Thread(target=server.stderr.read, daemon=True).start()  # its log must not fill the pipe
        for javascript, width in ((True, 375), (False, 375), (True, 1280)):
            run(javascript, base, os.path.join(work, f"{javascript}-{width}"), width)
    finally:
        server.terminate()
        server.wait(timeout=60)
        shutil.rmtree(work, ignore_errors=True)
    check(server.returncode == 0, "the server ends with status 0 on SIGTERM")
    print("page:", "ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


sys.exit(main())
