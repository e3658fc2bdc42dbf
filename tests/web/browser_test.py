#!/usr/bin/python3
"""The page in headless Chromium against tavrel --headless and the simulated board: a wrong password
is told; an entry added through the page's form a few seconds ahead lands in Note.ini, switches the
board at its second and turns the page's lamp green; a stuck relay's lamp stays dark when switched
on; an edit of an entry deleted meanwhile is refused. Usage: browser_test.py TAVREL TAVREL_BOARD"""
import datetime, json, os, re, secrets, shutil, socket, subprocess, sys, tempfile, threading
import urllib.error, urllib.request
from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

ROUTE, STUCK = 5, 6  # route 6's relay never follows
LEAD = 8  # seconds between filling in the form and the entry's time: room for a slow machine
failures = []


def check(what, ok):
    print(("ok: " if ok else "FAIL: ") + what, flush=True)
    if not ok:
        failures.append(what)


def note_entries(path):
    """Note.ini's entries as (key, text form), whatever encoding the program wrote it in."""
    try:
        raw = open(path, "rb").read()
    except OSError:
        return []
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
    return re.findall(r"^(\d{4})=(\d{3}[01]{7}\d{16})\s*$", text, re.M)


def main(tavrel, board):
    work = tempfile.mkdtemp(prefix="tavrel-web-")
    data, note = os.path.join(work, "data"), os.path.join(work, "data", "Note.ini")
    os.mkdir(data)
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    base = "http://127.0.0.1:%d" % port
    with open(os.path.join(data, "Name.ini"), "wb") as f:
        f.write(b"[Note]\r\nOpen=0\r\n[Web]\r\nPort=%d\r\n" % port)
    with open(note, "wb") as f:
        f.write(b"[Note]\r\n")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    password = "pw-" + secrets.token_hex(6)
    procs, driver = [], None
    try:
        subprocess.run([tavrel, "--web-password", "--data", data], input=password + "\n", text=True,
                       env=env, check=True, timeout=30, stdout=subprocess.DEVNULL)
        # The board's lines ("HH:MM:SS.mmm outputs HHLL"), gathered as it prints them.
        board_lines = []
        b = subprocess.Popen([board, "--link", os.path.join(data, "dosdevices", "com1"), "--stuck", str(STUCK)],
                             stdout=subprocess.PIPE, text=True)
        procs.append(b)
        threading.Thread(target=lambda: [board_lines.append(l) for l in b.stdout], daemon=True).start()
        procs.append(subprocess.Popen([tavrel, "--headless", "--data", data], env=env,
                                      stdout=open(os.path.join(work, "out.log"), "w"), stderr=subprocess.STDOUT))

        options = webdriver.ChromeOptions()
        for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--lang=en-US", "--window-size=1200,1000"):
            options.add_argument(a)
        options.add_experimental_option("prefs", {"intl.accept_languages": "en-US"})
        driver = webdriver.Chrome(options=options)
        wait = WebDriverWait(driver, 15, poll_frequency=0.1)
        find = lambda css: driver.find_element(By.CSS_SELECTOR, css)
        rows = lambda: driver.find_elements(By.CSS_SELECTOR, "#entries li")

        def answers():
            try:
                return urllib.request.urlopen(base + "/healthz", timeout=2).status in (200, 503)
            except urllib.error.HTTPError as e:
                return e.code == 503
            except OSError:
                return False

        wait.until(lambda _: any("ready" in l for l in board_lines) and answers(), "the program's server")
        driver.get(base + "/")
        wait.until(lambda _: find("#password").is_displayed())
        find("#password").send_keys("not-" + password + "\n")
        wait.until(lambda _: find("#login-msg").text)
        check("a wrong password is told (%r)" % find("#login-msg").text, find("#login-msg").text == "Wrong password")
        find("#password").clear()
        find("#password").send_keys(password + "\n")
        wait.until(lambda _: find("#lamps").is_displayed() and find("#link").text, "the lamps after logging in")
        lamp = '.lamp[data-route="%d"]' % ROUTE
        wait.until(lambda _: "off" in find(lamp).get_attribute("class").split(), "the lamp to show released")

        find('.tab[data-route="%d"]' % ROUTE).click()
        find("#add").click()
        wait.until(lambda _: find("#editor").is_displayed())
        due = (datetime.datetime.now() + datetime.timedelta(seconds=LEAD)).replace(microsecond=0)
        hms = due.strftime("%H:%M:%S")
        for field, value in (("#hh", due.hour), ("#mm", due.minute), ("#ss", due.second)):
            Select(find(field)).select_by_value("%02d" % value)
        Select(find("#act")).select_by_value("1")
        find('#entry-form button[type="submit"]').click()
        wait.until(lambda _: not find("#editor").is_displayed(), "the editor to close")
        wait.until(lambda _: [li for li in rows() if hms in li.text], "the entry listed")
        # Daily (flags on, every day, not weekly), route, no date, the time.
        form = re.compile(r"110[01]{7}%02d0{8}%s$" % (ROUTE, due.strftime("%H%M%S")))
        keys = wait.until(lambda _: [k for k, v in note_entries(note) if form.match(v)], "the entry in Note.ini")

        on = lambda l: re.match(r"(\d\d:\d\d:\d\d)\.\d+ outputs ([0-9A-Fa-f]{4})", l)
        switched = WebDriverWait(driver, LEAD + 15, poll_frequency=0.1).until(
            lambda _: [m.group(1) for m in map(on, list(board_lines)) if m and int(m.group(2), 16) & (1 << (ROUTE - 1))],
            "the board to switch route %d" % ROUTE)
        when = datetime.datetime.combine(due.date(), datetime.time.fromisoformat(switched[0]))
        when += datetime.timedelta(days=1) if when < due - datetime.timedelta(hours=12) else datetime.timedelta()
        check("the board switches route %d at %s, not before %s" % (ROUTE, switched[0], hms), when >= due)
        wait.until(lambda _: "on" in find(lamp).get_attribute("class").split(), "the lamp to turn on")
        colour = driver.execute_script(
            "return getComputedStyle(document.querySelector(arguments[0] + ' i')).backgroundColor", lamp)
        check("the page's lamp turns green (%s)" % colour, colour == "rgb(24, 193, 62)")

        # What the program says, with the page's own session: the board reports the route on, and
        # the record has the entry's switch in its second, told by the entry.
        cookies = "; ".join("%s=%s" % (c["name"], c["value"]) for c in driver.get_cookies())
        get = lambda path: json.load(urllib.request.urlopen(
            urllib.request.Request(base + path, headers={"Cookie": cookies}), timeout=5))
        check("GET /api/state reports route %d energised" % ROUTE, get("/api/state")["routes"][ROUTE - 1]["reported"] is True)
        at = [(l["time"], l["text"]) for l in get("/api/record?route=%d&limit=50" % ROUTE)["lines"]
              if l["route"] == ROUTE and l["cause"] == "key" + keys[0]]
        check("the record has the entry's switch at %s, told by its entry (%s)" % (hms, at),
              any(hms in t and hms in text for t, text in at))

        # The stuck route switched on by its lamp, then route 7: once 7's lamp is green, the
        # pushes telling of 6 have come before it, and 6's lamp must still be dark.
        find('.lamp[data-route="%d"]' % STUCK).click()
        wait.until(lambda _: get("/api/state")["routes"][STUCK - 1]["wanted"] is True, "route %d wanted" % STUCK)
        find('.lamp[data-route="7"]').click()
        wait.until(lambda _: "on" in find('.lamp[data-route="7"]').get_attribute("class").split(), "lamp 7")
        check("a stuck relay's lamp stays dark when switched on",
              find('.lamp[data-route="%d"]' % STUCK).get_attribute("class").split()[1:] == ["off"])

        # An edit whose entry another hand deleted meanwhile is refused, not laid on the entry
        # that took its key.
        with open(note, "ab") as f:
            f.write(b"0801=11000000000800000000063000\r\n0802=01000000000800000000180000\r\n")
        find('.tab[data-route="8"]').click()
        wait.until(lambda _: len(rows()) == 2, "route 8's entries")
        driver.find_elements(By.CSS_SELECTOR, "#entries li button")[0].click()
        wait.until(lambda _: find("#editor").is_displayed())
        csrf = driver.execute_script("return sessionStorage.getItem('tavrel.csrf')")
        urllib.request.urlopen(urllib.request.Request(base + "/api/entries/key0801", method="DELETE", headers={
            "Cookie": cookies, "X-CSRF-Token": csrf, "If-Match": str(get("/api/entries")["revision"])}), timeout=5)
        wait.until(lambda _: len(rows()) == 1, "the list after the delete")
        Select(find("#mm")).select_by_value("45")
        find('#entry-form button[type="submit"]').click()
        wait.until(lambda _: find("#editor-err").text, "the editor's refusal")
        check("an edit of a deleted entry is refused (%r), the other one kept" % find("#editor-err").text,
              ("0801", "01000000000800000000180000") in note_entries(note))
    except TimeoutException as e:
        check("waiting for %s" % (e.msg or "the page"), False)
    finally:
        if driver:
            driver.quit()
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        if failures and os.path.exists(os.path.join(work, "out.log")):
            print(open(os.path.join(work, "out.log")).read()[-3000:], end="")
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
