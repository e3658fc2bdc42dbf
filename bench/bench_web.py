#!/usr/bin/env python3
"""The page's weight and what the server costs, against the real program (tavrel --headless and
the simulated board): the page's files, RSS with [Web] off and on (and that nothing listens when
off), then 100 open live sockets: the program's idle CPU and how much its RSS grew.
Usage: bench_web.py TAVREL TAVREL_BOARD [SECONDS]"""
import base64, http.client, json, os, shutil, socket, subprocess, sys, tempfile, time

tavrel, board_program = sys.argv[1], sys.argv[2]
seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 20
port = 21000 + os.getpid() % 20000
ticks = os.sysconf("SC_CLK_TCK")


folders = []


def start(web):
    data = tempfile.mkdtemp(prefix="tavrel-bench-web-")
    folders.append(data)
    with open(f"{data}/Name.ini", "w", newline="") as f:
        f.write("[Note]\r\nOpen=1\r\nCom=1\r\nID=1\r\n" + (f"[Web]\r\nPort={port}\r\n" if web else ""))
    with open(f"{data}/Note.ini", "w", newline="") as f:
        f.write("[Note]\r\n0101=11000000000100000000120000\r\n")
    if web:
        subprocess.run([tavrel, "--web-password", "--data", data], input=b"pw\n", check=True,
                       stdout=subprocess.DEVNULL)
    board = subprocess.Popen([board_program, "--link", f"{data}/dosdevices/com1"],
                             stdout=subprocess.DEVNULL)
    time.sleep(0.3)
    program = subprocess.Popen([tavrel, "--headless", "--data", data],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(3)
    return board, program


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))


def cpu_s(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks


def listening(pid):
    inodes = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        target = os.readlink(f"/proc/{pid}/fd/{fd}")
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    count = 0
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as f:
            for line in list(f)[1:]:
                parts = line.split()
                count += parts[3] == "0A" and parts[9] in inodes
    return count


def stop(*processes):
    for p in processes:
        p.terminate()
        p.wait(10)


board, program = start(False)
off_rss = rss_kb(program.pid)
print(f"[Web] off: {listening(program.pid)} listening sockets, RSS {off_rss / 1024:.1f} MB")
stop(program, board)

board, program = start(True)
on_rss = rss_kb(program.pid)
print(f"[Web] on:  {listening(program.pid)} listening socket(s), RSS {on_rss / 1024:.1f} MB "
      f"({(on_rss - off_rss) / 1024:+.1f} MB)")
total = 0
for path in ("/", "/app.js", "/style.css", "/icon.svg"):
    c = http.client.HTTPConnection("127.0.0.1", port)
    c.request("GET", path)
    r = c.getresponse()
    body = r.read()
    if r.status == 200:
        total += len(body)
print(f"page weight: {total / 1024:.1f} KB uncompressed (goal: under 150 KB)")

c = http.client.HTTPConnection("127.0.0.1", port)
c.request("POST", "/api/login", body=json.dumps({"password": "pw"}))
r = c.getresponse()
r.read()
cookie = r.getheader("Set-Cookie").split(";")[0]
before = rss_kb(program.pid)
sockets = []
for _ in range(100):
    s = socket.create_connection(("127.0.0.1", port))
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall((f"GET /api/live HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
               f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n"
               f"Origin: http://127.0.0.1:{port}\r\nCookie: {cookie}\r\n\r\n").encode())
    assert b"101" in s.recv(4096).split(b"\r\n")[0]
    s.setblocking(False)
    sockets.append(s)
time.sleep(2)
cpu0 = cpu_s(program.pid)
time.sleep(seconds)
cpu = (cpu_s(program.pid) - cpu0) / seconds * 100
for s in sockets:  # what the server pushed meanwhile is read and dropped
    try:
        while s.recv(65536):
            pass
    except BlockingIOError:
        pass
grown = rss_kb(program.pid) - before
print(f"100 open live sockets: idle CPU {cpu:.2f} % over {seconds} s (goal: under 1 %), "
      f"RSS grew {grown / 1024:.1f} MB (goal: under 10 MB)")
for s in sockets:
    s.close()

# First load in a real browser (headless Chromium, when Selenium is there): from the start of the
# navigation of a logged-in page to its sixteen lamps drawn with the board's states.
try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    options = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--window-size=1280,900"):
        options.add_argument(a)
    driver = webdriver.Chrome(options=options)
    driver.get(f"http://127.0.0.1:{port}/")
    time.sleep(1)
    driver.find_element(By.CSS_SELECTOR, "input[type=password]").send_keys("pw\n")
    time.sleep(1)
    drawn = "return document.querySelectorAll('.lamp.on, .lamp.off').length == 16"
    loads = []
    for _ in range(10):
        time.sleep(0.5)
        driver.get(f"http://127.0.0.1:{port}/")
        deadline = time.time() + 10
        while not driver.execute_script(drawn) and time.time() < deadline:
            pass
        loads.append(driver.execute_script("return performance.now()"))
    driver.quit()
    loads.sort()
    print(f"first load to lamps drawn: median {loads[5]:.0f} ms, max {loads[-1]:.0f} ms "
          f"over 10 loads (goal: under 300 ms)")
except ImportError:
    print("first load: no Selenium here (python3-selenium, chromium-driver)")
stop(program, board)
for folder in folders:
    shutil.rmtree(folder, ignore_errors=True)
