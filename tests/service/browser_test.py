"""The leaderboard, the processors list, a processor's page, a comparison and
result pages in Debian's headless Chromium: at 1280, 390 and 320 px nothing is
wider than the viewport, axe-core (best practices included) finds no
violation, markup in stored names stays text, with no script from it run, and
the search box is reached, filled and sent with the keyboard alone."""
import json
import os
import tempfile
import urllib.parse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service as DriverService
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from servicetest import Service, record

NAME = "<script>document.title='x'</script><img src=x onerror=\"document.title='x'\">"
LONG = "Intel(R) Xeon(R) Platinum 8480+ with an unusually long processor name for its " * 2
AXE = os.path.join(os.path.dirname(__file__), "..", "..", "build", "axe-core", "node_modules",
                   "axe-core", "axe.min.js")

# Elements past the right edge, and whether the page itself scrolls sideways.
TOO_WIDE = """
const width = document.documentElement.clientWidth;
const wide = [...document.querySelectorAll('body *')]
  .filter(e => e.getBoundingClientRect().right > width + 0.5 && !e.closest('svg *'))
  .map(e => e.tagName + ' ' + Math.round(e.getBoundingClientRect().right));
if (document.documentElement.scrollWidth > width) wide.push('page ' + document.documentElement.scrollWidth);
return wide;"""


def chromium(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                 f"--user-data-dir={profile}"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=DriverService("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(60)
    return driver


def fill(service):
    """Stores results and returns the pages to check, with their expected titles."""
    for i in range(30):
        assert service.post(record(seconds=10 + (i % 7) * 0.1))[0] == 200
    service.post(record(seconds=100))  # a slow outlier
    service.post(record(seconds=12, chip=LONG[:128], device=LONG[:128]))
    status, reply = service.post(record(device=NAME, chip=NAME[:60]))
    assert status == 200, reply
    address = reply["url"]
    hostile, long = urllib.parse.quote(NAME[:60]), urllib.parse.quote(LONG[:128])
    return {"/": "Skor Tablosu", "/?chip=M9": "M9 – Skor Tablosu",
            "/processors": "İşlemciler – Skor Tablosu",
            "/processors?sort=count&q=" + hostile: f"“{NAME[:60]}” – İşlemciler – Skor Tablosu",
            "/compare?a=M9&b=" + hostile: f"M9 ile {NAME[:60]} – Skor Tablosu",
            f"/compare?a={long}&b=M9": f"{LONG[:128].strip()} ile M9 – Skor Tablosu",
            "/?chip=" + urllib.parse.quote(NAME[:60]): NAME[:60] + " – Skor Tablosu",
            address: f"Sonuç {address[3:]}: {NAME[:60]} – Skor Tablosu",
            "/r/1": "Sonuç 1: M9 – Skor Tablosu"}


def check(driver, url, title, width):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": 900, "deviceScaleFactor": 1, "mobile": width < 800})
    driver.get(url)
    where = f"{url} at {width} px"
    assert driver.title == title, f"{where}: title {driver.title!r}"
    assert driver.execute_script(
        "return document.querySelectorAll('script, img, [onerror]').length") == 0, where
    assert driver.execute_script("return document.documentElement.clientWidth") == width, where
    if NAME[:60] in title:
        assert NAME[:60] in driver.find_element("tag name", "body").text, where
    wide = driver.execute_script(TOO_WIDE)
    assert not wide, f"{where}: wider than the viewport: {wide[:10]}"
    with open(AXE, encoding="utf-8") as axe:
        driver.execute_script(axe.read())
    # axe's default rules, its best practices among them.
    found = driver.execute_async_script(
        "axe.run(document).then(r => arguments[0]({passes: r.passes.map(p => p.id), "
        "violations: r.violations.map(v => ({id: v.id, nodes: v.nodes.map(n => n.html.slice(0, 120))}))}))")
    assert "landmark-one-main" in found["passes"], f"{where}: best practices did not run"
    violations = found["violations"]
    assert not violations, f"{where}: {json.dumps(violations, ensure_ascii=False, indent=1)}"


def search_by_keyboard(driver, url):
    """Tab to the search box, type a name in another case, and send it with Enter."""
    driver.get(url)
    for _ in range(10):
        ActionChains(driver).send_keys(Keys.TAB).perform()
        if driver.switch_to.active_element.get_attribute("id") == "q":
            break
    else:
        raise AssertionError(f"{url}: no search box within ten presses of Tab")
    ActionChains(driver).send_keys("m9", Keys.ENTER).perform()
    WebDriverWait(driver, 30).until(lambda d: d.title.startswith("“m9”"), f"{url}: no search")
    rows = driver.find_elements("css selector", "table a[href='/?chip=M9']")
    assert len(rows) == 1, f"{url}: M9 not found by searching"


def main():
    assert os.path.exists(AXE), f"{AXE} is missing: run scripts/setup test"
    with Service("--rate-limit", "0") as service, tempfile.TemporaryDirectory() as profile:
        pages = fill(service)
        driver = chromium(profile)
        try:
            for page, title in pages.items():
                for width in (1280, 390, 320):
                    check(driver, service.url + page, title, width)
            for page in ("/", "/processors?sort=name"):
                search_by_keyboard(driver, service.url + page)
        finally:
            driver.quit()
    print(f"{len(pages)} pages at 3 widths: nothing too wide, no axe violation, no stored script;"
          " search by keyboard")


main()
