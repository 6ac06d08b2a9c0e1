"""The live page of `orv serve` in headless Chromium driven by Selenium: it
opens through the address with the token, which then leaves the address bar,
loads without console errors, the plot is redrawn at least 5 times in 2 s,
an integration time typed into the page reaches the instrument (simulator
transcript and read-back), dark and reference stored from the page turn the
plot into absorbance (axis label, plotted values, the CSV's column, a warning
where they are missing or no longer fit), and a screenshot lands in the build
folder. A
second run serves an instrument whose identity texts are HTML: the page
shows them as text and runs nothing of them.
Exit status 77 (skipped, with the reason) when Chromium, its driver or
Selenium is missing; 0 when every check passed; 1 otherwise."""

import os
import shutil
import sys
import tempfile
import time
import urllib.parse

from orv_e2e import OUTPUT_DIR, Checklist, scratch, table_rows
from serve_session import ServeSession

SKIPPED = 77


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIPPED)


def browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        skip("python3-selenium is not installed")
    chromium = shutil.which("chromium")
    driver = shutil.which("chromedriver")
    if not chromium or not driver:
        skip("chromium or chromium-driver is not installed")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    profile = tempfile.mkdtemp(prefix="orv-chromium-")
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--window-size=1400,900", f"--user-data-dir={profile}"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(driver), options=options), profile


def close_browser(driver, profile):
    driver.quit()
    shutil.rmtree(profile, ignore_errors=True)


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def measurement_modes(driver, session, check):
    """Store dark and reference of ORVSIM02 on the page, switch to absorbance."""
    panel = driver.find_element("id", "instrument-ORVSIM02")
    driver.find_element("id", "store-dark-ORVSIM02").click()
    dark = int(wait_for(lambda: panel.get_attribute("data-dark"), 20, "the stored dark"))
    wait_for(lambda: int(panel.get_attribute("data-sequence") or 0) > dark, 20,
             "a spectrum after the dark")
    driver.find_element("id", "store-reference-ORVSIM02").click()
    reference = int(wait_for(lambda: panel.get_attribute("data-reference"), 20,
                             "the stored reference"))
    check(reference > dark, f"dark ({dark}) and reference ({reference}) are two spectra")
    from selenium.webdriver.support.ui import Select
    Select(driver.find_element("id", "mode")).select_by_value("absorbance")
    label = lambda: driver.execute_script("return Chart.getChart('chart').options.scales.y."
                                          "title.text")
    wait_for(lambda: label() == "Absorbance (AU)", 20, "the absorbance axis label")
    check(label() == "Absorbance (AU)", f"the axis reads {label()!r}")
    wait_for(lambda: panel.get_attribute("data-mode") == "absorbance", 20,
             "ORVSIM02 in absorbance")
    points = wait_for(lambda: int(panel.get_attribute("data-points") or 0), 20,
                      "absorbance values plotted")
    check(points > 0, f"the plot shows {points} absorbance values of ORVSIM02")
    warning = driver.find_element("id", "warning-ORVSIM03")
    wait_for(lambda: "absorbance" in warning.text, 20, "the warning of ORVSIM03")
    check("needs a dark" in warning.text and warning.is_displayed(),
          f"ORVSIM03 without a dark says so ({warning.text!r})")
    check(driver.find_element("id", "instrument-ORVSIM03").get_attribute("data-points") == "0",
          "and plots nothing")
    link = urllib.parse.urlsplit(
        driver.find_element("id", "download-ORVSIM02").get_attribute("href"))
    status, body, _ = session.get(link.path + "?" + link.query)
    comments, rows = table_rows(body.decode()) if status == 200 else ([], [{}])
    check(status == 200 and "absorbance_au" in rows[0] and
          any(line.startswith("# mode: absorbance") for line in comments),
          f"the CSV download holds the absorbance column ({status}, {list(rows[0])})")
    # Stored at 10 ms, the spectra at 20 ms no longer fit: the page says why.
    field = driver.find_element("id", "integration-ORVSIM02")
    field.clear()
    field.send_keys("20ms")
    driver.find_element("id", "apply-ORVSIM02").click()
    warning = driver.find_element("id", "warning-ORVSIM02")
    wait_for(lambda: "integration" in warning.text, 20, "the mismatch warning")
    check("10000" in warning.text and "20000" in warning.text and warning.is_displayed(),
          f"the warning names the difference ({warning.text!r})")


def hostile_texts(driver, check):
    """Model, serial number and description that are HTML appear as text."""
    session = ServeSession("-d", "ORVXSS01", scenario_name="hostile_texts")
    try:
        # Without the token the page says what to do and shows nothing else.
        driver.get(session.url)
        check("token" in driver.find_element("tag name", "body").text,
              "without the token the page is refused")
        driver.get_log("browser")  # the refusal's own console line is expected
        driver.get(session.page_url)
        wait_for(lambda: driver.find_elements("id", "instrument-ORVXSS01"), 20, "the panel")
        panel = driver.find_element("id", "instrument-ORVXSS01")
        title = panel.find_element("tag name", "h2").text
        check("<script>alert(1)" in title and "<b>bold</b>" in title,
              f"model and serial number shown as text ({title!r})")
        identity = panel.find_element("class name", "identity").text
        check("<img src=x onerror=" in identity, f"description shown as text ({identity!r})")
        injected = driver.execute_script(
            "return document.querySelectorAll('#instruments script, #instruments img, "
            "#instruments b').length")
        check(injected == 0, f"no element made of the texts ({injected})")
        time.sleep(0.5)
        owned = driver.execute_script("return document.body.dataset.owned || ''")
        check(owned == "", "no handler of the texts ran")  # an alert would have failed a call
        errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
        check(not errors, f"no console errors with hostile texts ({errors})")
    finally:
        status = session.stop()
    check(status == 0, f"orv serve (hostile texts) ended with status {status}")


def main():
    driver, profile = browser()
    folder = scratch("live_page")
    transcript = os.path.join(folder, "transcript.txt")
    session = ServeSession("-d", "all", "--integration", "10ms", scenario_name=None,
                           transcript=transcript)
    check = Checklist()
    try:
        driver.get(session.page_url)
        check(driver.current_url == session.url,
              f"the token left the address bar ({driver.current_url})")
        draws = lambda: int(driver.execute_script("return document.body.dataset.draws || 0"))
        wait_for(lambda: draws() >= 1, 20, "the first drawing")
        before = draws()
        time.sleep(2.0)
        after = draws()
        check(after - before >= 5, f"the plot was redrawn {after - before} times in 2 s")

        field = driver.find_element("id", "integration-ORVSIM01")
        field.clear()
        field.send_keys("25ms")
        driver.find_element("id", "apply-ORVSIM01").click()
        panel = driver.find_element("id", "instrument-ORVSIM01")
        applied = wait_for(lambda: panel.get_attribute("data-integration-us"), 20,
                           "the settings change")
        check(applied == "25000", f"the page shows the read-back integration time {applied} us")
        _, instruments = session.json("/api/instruments")
        check(instruments[0]["settings"]["integration_us"] == 25000,
              "the server reads back 25000 us from ORVSIM01")
        with open(transcript, encoding="utf-8") as lines:
            written = any(" FT_Write " in line and " dev=0 " in line and "000061A8" in line
                          for line in lines)
        check(written, "the transcript shows 25000 us (61A8h) written to ORVSIM01")
        measurement_modes(driver, session, check)

        time.sleep(0.5)
        errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
        check(not errors, f"no console errors ({errors})")
        screenshot = os.path.join(OUTPUT_DIR, "orv-live-page.png")
        check(driver.save_screenshot(screenshot), f"screenshot written to {screenshot}")
    finally:
        status = session.stop()
    check(status == 0, f"orv serve ended with status {status} after Ctrl-C")
    try:
        hostile_texts(driver, check)
    finally:
        close_browser(driver, profile)
    return check.exit_status()


if __name__ == "__main__":
    sys.exit(main())
