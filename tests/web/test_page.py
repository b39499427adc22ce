"""The page of `mirelune-cli serve` in headless Chromium, with and without JavaScript,
by keyboard alone on a 360-pixel-wide window: the card it shows is the bytes
`mirelune-cli card` writes; the share link makes it again; a name over 100
characters shows the command line's message; no console errors, no CSP reports.
Usage: test_page.py MIRELUNE_CLI (exit 77 when Chromium or Selenium is missing)."""
import datetime, os, re, shutil, subprocess, sys, tempfile, urllib.request

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
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def browser(javascript, home):
    o = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--user-data-dir=" + home):
        o.add_argument(flag)
    o.add_experimental_option("mobileEmulation", {"deviceMetrics": {"width": 360, "height": 780, "pixelRatio": 1}})
    o.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    if not javascript:
        o.add_experimental_option("prefs", {"profile.managed_default_content_settings.javascript": 2})
    d = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=o)
    d.set_page_load_timeout(60)
    d.set_script_timeout(60)
    return d


def card_bytes(*names):
    return subprocess.run([CLI, "card", "--friend", names[0], "--sender", names[1], "--year", str(YEAR), "--out", "-",
                           "--format", "png"], capture_output=True, timeout=60, check=True).stdout


def keyboard_flow(d, base, friend, sender):
    """Tab to each field, type, Enter: the card (or the message) appears."""
    d.get(base + "/")
    d.find_element(By.TAG_NAME, "body").send_keys(Keys.TAB)
    for text in (friend, sender):
        d.switch_to.active_element.send_keys(text)
        d.switch_to.active_element.send_keys(Keys.TAB)
    check(d.switch_to.active_element.get_attribute("id") == "year", "the third field by Tab is the year")
    check(d.switch_to.active_element.get_attribute("value") == str(YEAR), "the year defaults to the coming one")
    d.switch_to.active_element.send_keys(Keys.ENTER)
    WebDriverWait(d, 60).until(lambda d: d.find_element(By.ID, "result").is_displayed()
                               or d.find_element(By.ID, "error").is_displayed())


def run(javascript, base, home):
    d = browser(javascript, home)
    tag = "with JavaScript" if javascript else "without JavaScript"
    try:
        friend, sender = "Zoë <b>&", "Bob"
        keyboard_flow(d, base, friend, sender)
        img = d.find_element(By.ID, "card")
        WebDriverWait(d, 60).until(lambda d: d.execute_script("return arguments[0].complete", img))
        check(d.execute_script("return arguments[0].naturalWidth", img) == 896, tag + ": the card is shown")
        check(img.get_attribute("alt") == f"dear {friend}, I wish you a happy new year {YEAR}! {sender} mirelune.art",
              tag + ": the alternative text is the greeting, escaped: " + img.get_attribute("alt"))
        shown = urllib.request.urlopen(img.get_attribute("src"), timeout=60).read()
        check(shown == card_bytes(friend, sender), tag + ": the card shown is the bytes `card` writes")
        if javascript:
            check(d.switch_to.active_element.get_attribute("id") == "result-title", "focus moves to the card")
        check(d.execute_script("return document.documentElement.scrollWidth") <= 360, tag + ": fits 360 pixels")
        if os.environ.get("MIRELUNE_SCREENSHOTS"):
            d.save_screenshot(os.path.join(os.environ["MIRELUNE_SCREENSHOTS"], tag.replace(" ", "-") + ".png"))
        d.get(d.find_element(By.ID, "share-link").get_attribute("href"))
        again = urllib.request.urlopen(d.find_element(By.ID, "card").get_attribute("src"), timeout=60).read()
        check(again == shown, tag + ": the share link makes the same card")
        keyboard_flow(d, base, "a" * 101, sender)
        error = d.find_element(By.ID, "error")
        check(error.text == "--friend: has 101 characters; a name may have at most 100", tag + ": " + error.text)
        check(not d.find_element(By.ID, "result").is_displayed(), tag + ": no card for a bad name")
        for entry in d.get_log("browser"):
            expected = "status of 400" in entry["message"]  # the answer to the over-long name
            check(expected or entry["level"] not in ("SEVERE", "WARNING"), tag + ": console: " + entry["message"])
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
        for javascript in (True, False):
            run(javascript, base, os.path.join(work, str(javascript)))
    finally:
        server.terminate()
        server.communicate(timeout=60)
        shutil.rmtree(work, ignore_errors=True)
    check(server.returncode == 0, "the server ends with status 0 on SIGTERM")
    print("page:", "ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


sys.exit(main())
