"""The leaderboard, a processor's page and result pages in Debian's headless
Chromium: at 1280, 390 and 320 px nothing is wider than the viewport, axe-core
(best practices included) finds no violation, and markup in stored names stays
text, with no script from it run."""
import json
import os
import tempfile
import urllib.parse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service as DriverService

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
    return {"/": "Skor Tablosu", "/?chip=M9": "M9 – Skor Tablosu",
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


def main():
    assert os.path.exists(AXE), f"{AXE} is missing: run scripts/setup test"
    with Service("--rate-limit", "0") as service, tempfile.TemporaryDirectory() as profile:
        pages = fill(service)
        driver = chromium(profile)
        try:
            for page, title in pages.items():
                for width in (1280, 390, 320):
                    check(driver, service.url + page, title, width)
        finally:
            driver.quit()
    print(f"{len(pages)} pages at 3 widths: nothing too wide, no axe violation, no stored script")


main()
