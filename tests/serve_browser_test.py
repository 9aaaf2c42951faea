#!/usr/bin/env python3
"""kemro-serve's page in a real headless browser (Debian's chromium through
chromium-driver and python3-selenium), run by CTest.

Fills "Check a decision", submits it and reads the result table against
kemro-observed's numbers; opens shared addresses of "One scenario" and "Plan
or study" and reads their tables against kemro-grid's; checks that text a
user typed (a label or a value holding markup) is shown as text and never
run; writes a screenshot of each tab to OUT_DIR. Exits 77 (skipped) when the
browser, its driver or Selenium is missing.

    python3 tests/serve_browser_test.py KEMRO_SERVE KEMRO_GRID KEMRO_OBSERVED OUT_DIR
"""
import json
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
SERVE, GRID, OBSERVED, OUT_DIR = sys.argv[1:5]
WAIT_SECONDS = 30

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions as ready
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("SKIP: python3-selenium is not installed")
    sys.exit(SKIP)

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
if CHROMIUM is None or DRIVER is None:
    print("SKIP: chromium or chromium-driver is not installed")
    sys.exit(SKIP)

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, flush=True)


def start_server():
    proc = subprocess.Popen([SERVE, "--port", "0"], stderr=subprocess.PIPE, text=True)
    line = proc.stderr.readline()
    if "serving http://" not in line:
        raise SystemExit("kemro-serve did not start: " + line)
    return proc, line.split("serving ")[1].split()[0].rstrip("/")


def tool_json(program, args):
    return json.loads(subprocess.run([program, *args, "--json"], check=True,
                                     capture_output=True).stdout)


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1200,1400",
                 "--user-data-dir=" + profile):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(executable_path=DRIVER), options=options)


def cell(driver, table_id, column, row=0):
    cells = driver.find_elements(By.CSS_SELECTOR, f"#{table_id} td[data-column='{column}']")
    return cells[row].text if row < len(cells) else None


def wait_for(driver, selector):
    WebDriverWait(driver, WAIT_SECONDS).until(
        ready.presence_of_element_located((By.CSS_SELECTOR, selector)))


def wait_for_plot(driver, panel):
    WebDriverWait(driver, WAIT_SECONDS).until(lambda d: d.execute_script(
        f"const i = document.querySelector('#{panel} img.plot');"
        "return i !== null && i.complete && i.naturalWidth > 0;"))


def same_number(text, value):
    return text is not None and float(text) == value


def check_decision_form(driver, base):
    driver.get(base + "/")
    wait_for(driver, "#form-decision")
    for name, value in (("applicants", "62"), ("majority", "43"), ("hires", "31"),
                        ("minority-hires", "6")):
        driver.find_element(By.CSS_SELECTOR, f"#form-decision [name='{name}']").send_keys(value)
    driver.find_element(By.CSS_SELECTOR, "#form-decision button[type='submit']").click()
    wait_for(driver, "#table-decision")
    expected = tool_json(OBSERVED, ["--applicants=62", "--majority=43", "--hires=31",
                                    "--minority-hires=6"])[0]
    for column in ("AI", "p_fisher_one_sided", "p_z_two_sided", "d_lower", "d_upper"):
        got = cell(driver, "table-decision", column)
        check(same_number(got, expected[column]),
              f"decision table {column}: {got!r}, kemro-observed {expected[column]!r}")
    sentences = driver.find_element(By.ID, "result-decision").text
    check("four-fifths rule flags this decision" in sentences, "no four-fifths sentence")
    check("tab=decision&applicants=62&majority=43&hires=31&minority-hires=6" in driver.current_url,
          f"the address holds no inputs: {driver.current_url}")
    driver.save_screenshot(f"{OUT_DIR}/serve_decision.png")


def check_shared_scenario(driver, base):
    driver.get(base + "/?tab=scenario&applicants=40&majority=30&hires=8&d=0.25")
    wait_for(driver, "#table-scenario-distribution")
    wait_for_plot(driver, "result-scenario")
    expected = tool_json(GRID, ["--applicants=40", "--majority=30", "--hires=8", "--d=0.25",
                                "--distribution"])[0]
    got = cell(driver, "table-scenario-summary", "P_below_four_fifths")
    check(same_number(got, expected["P_below_four_fifths"]), f"scenario P(AI < 0.8): {got!r}")
    rows = driver.find_elements(By.CSS_SELECTOR, "#table-scenario-distribution tbody tr")
    check(len(rows) == len(expected["distribution"]), f"{len(rows)} outcome rows")
    last = cell(driver, "table-scenario-distribution", "cumulative_P", len(rows) - 1)
    check(same_number(last, expected["distribution"][-1]["cumulative_P"]), f"last cumulative {last}")
    check(driver.find_element(By.ID, "tab-scenario").get_attribute("aria-selected") == "true",
          "the shared address did not open its tab")
    driver.save_screenshot(f"{OUT_DIR}/serve_scenario.png")


def check_shared_study(driver, base):
    driver.get(base + "/?tab=study&applicants=100:500:100&minority-share=0.2,0.3"
               "&selection-ratio=0.2&d=0,0.3&title=%3Cscript%3Ewindow.pwned%3D1%3C%2Fscript%3E")
    wait_for(driver, "#table-study")
    wait_for_plot(driver, "result-study")
    expected = tool_json(GRID, ["--applicants=100:500:100", "--minority-share=0.2,0.3",
                                "--selection-ratio=0.2", "--d=0,0.3"])
    rows = driver.find_elements(By.CSS_SELECTOR, "#table-study tbody tr")
    check(len(rows) == len(expected), f"study: {len(rows)} rows for {len(expected)} scenarios")
    got = cell(driver, "table-study", "P_below_four_fifths", 3)
    check(same_number(got, expected[3]["P_below_four_fifths"]), f"study row 4: {got!r}")
    links = [a.get_attribute("href") for a in driver.find_elements(By.CSS_SELECTOR, "#result-study .downloads a")]
    check(any(h.endswith("&csv") for h in links) and any(h.endswith("&json") for h in links),
          f"downloads: {links}")
    driver.save_screenshot(f"{OUT_DIR}/serve_study.png")


def check_typed_markup_stays_text(driver, base):
    label = "<script>window.pwned=2</script>"
    data = ("g,h,site\nA,1,{0}\nB,0,{0}\nA,0,{0}\nB,1,{0}\n"
            "A,1,\"<img src=x onerror=\"\"window.pwned=3\"\">\"\nB,0,\"<img src=x onerror=\"\"window.pwned=3\"\">\"\n"
            "B,1,\"<img src=x onerror=\"\"window.pwned=3\"\">\"\n").format(label)
    driver.get(base + "/?tab=decision")
    wait_for(driver, "#decision-data")
    driver.execute_script("document.getElementById('decision-data').value = arguments[0];", data)
    for name, value in (("group-column", "g"), ("minority", "B"), ("hired-column", "h"),
                        ("by", "site")):
        driver.find_element(By.CSS_SELECTOR, f"#form-decision [name='{name}']").send_keys(value)
    driver.find_element(By.CSS_SELECTOR, "#form-decision button[type='submit']").click()
    wait_for(driver, "#table-decision")
    check(cell(driver, "table-decision", "label", 0) == label, "the label is not shown as text")
    check(driver.execute_script("return window.pwned === undefined;"), "typed markup ran")
    driver.get(base + "/?tab=decision&applicants=%3Cimg%20src%3Dx%20onerror%3D%22window.pwned%3D4%22%3E"
               "&majority=43&hires=31&minority-hires=6")
    WebDriverWait(driver, WAIT_SECONDS).until(
        lambda d: d.find_element(By.ID, "error-decision").is_displayed())
    message = driver.find_element(By.ID, "error-decision").text
    check("<img src=x" in message, f"the page's check does not quote the input: {message!r}")
    check(driver.execute_script("return window.pwned === undefined;"), "markup in an address ran")


def main():
    proc, base = start_server()
    profile = tempfile.mkdtemp(prefix="kemro-browser-")
    driver = None
    try:
        driver = browser(profile)
        for test in (check_decision_form, check_shared_scenario, check_shared_study,
                     check_typed_markup_stays_text):
            try:
                test(driver, base)
            except Exception as error:  # a timeout names the step that did not happen
                check(False, f"{test.__name__}: {type(error).__name__}: {error}")
    finally:
        if driver is not None:
            driver.quit()
        proc.terminate()
        proc.wait(timeout=15)
        shutil.rmtree(profile, ignore_errors=True)
    print("PASS" if not failures else f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
