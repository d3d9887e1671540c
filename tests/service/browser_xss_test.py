"""A device name made of markup shows as text in real headless Chromium, and no
script from it runs."""
import tempfile
import urllib.parse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service as DriverService

from servicetest import Service, record

NAME = "<script>document.title='x'</script><img src=x onerror=\"document.title='x'\">"


def main():
    with Service() as service, tempfile.TemporaryDirectory() as profile:
        status, reply = service.post(record(device=NAME, chip=NAME[:60]))
        assert status == 200, reply
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", f"--user-data-dir={profile}"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=DriverService("/usr/bin/chromedriver"), options=options)
        driver.set_page_load_timeout(30)
        try:
            for page in ("/", "/?chip=" + urllib.parse.quote(NAME[:60])):
                driver.get(service.url + page)
                assert driver.title == "Skor Tablosu", f"{page}: title {driver.title!r}"
                assert NAME in driver.find_element("tag name", "body").text, page
                assert driver.execute_script(
                    "return document.querySelectorAll('script, img').length") == 0, page
        finally:
            driver.quit()
    print("markup in a stored name stays text")


main()
