#!/usr/bin/env python3
"""The page's API against the real program: tavrel --headless and the simulated board, each rule
of the API one row of the table below. Usage: api_test.py TAVREL TAVREL_BOARD"""
import base64, http.client, json, os, shutil, socket, subprocess, sys, tempfile, time

tavrel, board_program = sys.argv[1], sys.argv[2]
data = tempfile.mkdtemp(prefix="tavrel-web-")
port = 20000 + os.getpid() % 20000
with open(f"{data}/Name.ini", "w", newline="") as f:
    f.write(f"[Note]\r\nOpen=1\r\nCom=1\r\nID=1\r\n[Web]\r\nPort={port}\r\n")
# Route 5 holds 99 entries already: a 100th is refused.
with open(f"{data}/Note.ini", "w", newline="") as f:
    f.write("[Note]\r\n" + "".join(f"05{n:02d}=1000000000050000000001{n:02d}00\r\n" for n in range(1, 100)))
subprocess.run([tavrel, "--web-password", "--data", data], input=b"right pw\n", check=True,
               stdout=subprocess.DEVNULL)
board = subprocess.Popen([board_program, "--link", f"{data}/dosdevices/com1"],
                         stdout=subprocess.DEVNULL)
time.sleep(0.3)
program = subprocess.Popen([tavrel, "--headless", "--data", data], stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE)
failures = []


def request(method, path, body=None, headers=None, raw=None):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    payload = raw if raw is not None else (None if body is None else json.dumps(body).encode())
    c.request(method, path, body=payload, headers=headers or {})
    r = c.getresponse()
    text = r.read()
    c.close()
    return r.status, dict(r.getheaders()), (json.loads(text) if text else {})


def login(password="right pw"):
    status, headers, body = request("POST", "/api/login", {"password": password})
    cookie = headers.get("Set-Cookie", "").split(";")[0]
    return status, {"Cookie": cookie, "X-CSRF-Token": body.get("csrf", "")}, headers


def revision(auth):
    return str(request("GET", "/api/entries", headers=auth)[2]["revision"])


def note_ini():
    with open(f"{data}/Note.ini", encoding="utf-8", errors="replace") as f:
        return f.read()


def live(auth, origin):
    """Opens /api/live; returns the close code the server sends first, or None for a message."""
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall((f"GET /api/live HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
               f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n"
               f"Origin: {origin}\r\nCookie: {auth['Cookie']}\r\n\r\n").encode())
    got = b""
    while b"\r\n\r\n" not in got:
        got += s.recv(4096)
    frame = got.split(b"\r\n\r\n", 1)[1] or s.recv(4096)
    s.close()
    return int.from_bytes(frame[2:4], "big") if frame[0] & 0x0F == 8 else None


def check(name, ok, detail=""):
    print(("PASS " if ok else "FAIL ") + name + ("" if ok else f": {detail}"))
    if not ok:
        failures.append(name)


try:
    # The rows below run in well under a second: they start once the board has first answered.
    for _ in range(200):
        try:
            if request("GET", "/healthz")[2].get("link") == "answering":
                break
        except OSError:  # the server is up once the station started
            pass
        time.sleep(0.1)
    status, auth, headers = login()
    check("login", status == 200 and "HttpOnly" in headers.get("Set-Cookie", "")
          and "SameSite=Strict" in headers.get("Set-Cookie", ""), headers)
    entry = {"route": 2, "kind": "daily", "time": "07:30:00", "on": True}
    no_csrf = {"Cookie": auth["Cookie"]}
    big = json.dumps({"route": 2, "pad": "x" * 70000}).encode()
    # name, method, path, body, headers (auth, with If-Match filled in when True), status, check
    rows = [
        ("no session: 401", "GET", "/api/state", None, {}, 401, None),
        ("a forged cookie: 401", "GET", "/api/entries", None, {"Cookie": "tavrel_session=x"}, 401, None),
        ("a change without the token: 403", "POST", "/api/entries", entry, dict(no_csrf, **{"If-Match": True}), 403, None),
        ("a wrong token: 403", "PUT", "/api/settings", {"auto": False}, dict(auth, **{"X-CSRF-Token": "x"}), 403, None),
        ("a stale revision: 409, nothing changes", "POST", "/api/entries", entry, dict(auth, **{"If-Match": "1"}), 409,
         lambda b: "0201=" not in note_ini()),
        ("no revision: 428", "POST", "/api/entries", entry, auth, 428, None),
        ("a body over 64 KiB: 413", "POST", "/api/entries", big, dict(auth, **{"If-Match": True}), 413, None),
        ("24:00:00: 422", "POST", "/api/entries", dict(entry, time="24:00:00"), dict(auth, **{"If-Match": True}), 422, None),
        ("route 17: 422", "POST", "/api/entries", dict(entry, route=17), dict(auth, **{"If-Match": True}), 422, None),
        ("weekly without days: 422", "POST", "/api/entries", dict(entry, kind="weekly", days=[]), dict(auth, **{"If-Match": True}), 422, None),
        ("a route's 100th entry: 422", "POST", "/api/entries", dict(entry, route=5), dict(auth, **{"If-Match": True}), 422, None),
        ("a past date: 422 and past", "POST", "/api/entries", dict(entry, kind="date", date="2020-01-01"), dict(auth, **{"If-Match": True}), 422,
         lambda b: b.get("past") is True),
        ("not JSON: 400", "POST", "/api/entries", b"{", dict(auth, **{"If-Match": True}), 400, None),
        ("an entry added: 201, in Note.ini before the answer", "POST", "/api/entries", entry, dict(auth, **{"If-Match": True}), 201,
         lambda b: b.get("key") == "key0201" and "0201=11000000000200000000073000" in note_ini()),
        ("a past date confirmed: 201", "POST", "/api/entries", dict(entry, kind="date", date="2020-01-01", confirmPast=True), dict(auth, **{"If-Match": True}), 201,
         lambda b: "0202=10000000000220200101073000" in note_ini()),
        ("an entry changed: 200, saved", "PUT", "/api/entries/key0201", dict(entry, time="08:00:00", on=False), dict(auth, **{"If-Match": True}), 200,
         lambda b: "0201=01000000000200000000080000" in note_ini()),
        ("an entry deleted: 200, saved, renumbered", "DELETE", "/api/entries/key0201", None, dict(auth, **{"If-Match": True}), 200,
         lambda b: "0201=10000000000220200101073000" in note_ini() and "0202=" not in note_ini()),
        ("the live socket without an upgrade: 426", "GET", "/api/live", None, auth, 426, None),
        ("an unknown entry: 404", "DELETE", "/api/entries/key0999", None, dict(auth, **{"If-Match": True}), 404, None),
        ("a route switched by hand", "POST", "/api/routes/3/switch", {"on": True}, auth, 200, None),
        ("a name the file can hold", "PUT", "/api/routes/3/name", {"name": " 风机 "}, auth, 200,
         lambda b: b.get("name") == "风机"),
        ("the timetable paused", "PUT", "/api/settings", {"auto": False}, auth, 200, lambda b: b["auto"] is False),
        ("the record, newest first, the page as cause", "GET", "/api/record?limit=5", None, auth, 200,
         lambda b: any(l["cause"] == "网页" for l in b["lines"]) and len(b["lines"]) <= 5),
        ("the week's plan: 16 routes", "GET", "/api/plan", None, auth, 200, lambda b: len(b["routes"]) == 16),
        ("the state: 16 routes, route 3 wanted on", "GET", "/api/state", None, auth, 200,
         lambda b: len(b["routes"]) == 16 and b["routes"][2]["wanted"] is True and b["link"] == "answering"),
    ]
    for name, method, path, body, headers, expected, ok in rows:
        headers = dict(headers)
        if headers.get("If-Match") is True:
            headers["If-Match"] = revision(auth)
        raw = body if isinstance(body, bytes) else None
        status, _, answer = request(method, path, None if raw else body, headers, raw)
        check(name, status == expected and (ok is None or ok(answer)), f"{status} {answer}")

    # A declared body of 100 MB is refused before it is read: the answer comes while it is sent.
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    s.sendall(f"POST /api/entries HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n"
              f"Cookie: {auth['Cookie']}\r\n\r\n".encode() + b"x" * 100000)
    check("100 MB declared: 413 unread", s.recv(100).startswith(b"HTTP/1.1 413"))
    s.close()

    check("the live socket from the page's own origin", live(auth, f"http://127.0.0.1:{port}") is None)
    check("the live socket from another origin: closed", live(auth, "http://evil.example") == 4401)
    health = request("GET", "/healthz")
    check("health while the board answers: 200", health[0] == 200, health)

    request("POST", "/api/logout", headers=auth)
    check("logged out: 401", request("GET", "/api/state", headers=auth)[0] == 401)
    # Five wrong passwords a minute are told; the sixth try is braked, even with the right one.
    wrong = [login("wrong")[0] for _ in range(5)]
    status, _, headers = login()
    check("five wrong: 401 each, then 429 with Retry-After",
          wrong == [401] * 5 and status == 429 and int(headers.get("Retry-After", "0")) > 0,
          f"{wrong} {status}")
finally:
    program.terminate()
    board.terminate()
    program.wait(10)
    board.wait(10)
    shutil.rmtree(data, ignore_errors=True)
print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
