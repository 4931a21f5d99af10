"""The web remote's real parts for the browser test and the page benchmark: the virtual board,
the service serving the page on a free loopback port from a demo-like working directory, and
headless Chromium driven through chromedriver. Nothing is skipped: a missing part is an error."""
import http.server
import json
import os
import queue
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
TOKEN = "0123456789abcdef0123456789abcdef"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Board:
    """zelvar-board on a pseudo-terminal; every command it received, one line each."""

    def __init__(self, board_exe):
        self.process = subprocess.Popen([board_exe], stdout=subprocess.PIPE, text=True,
                                        env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        self.device = self.process.stdout.readline().strip()
        if not self.device.startswith("/dev/"):
            raise RuntimeError(f"zelvar-board gave no device: {self.device!r}")
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.strip())

    def forget(self):
        while not self.lines.empty():
            self.lines.get_nowait()

    def expect(self, command, timeout=5.0):
        """Waits for the board to report `command` ("S2N$#"); the lines before it are returned."""
        deadline = time.monotonic() + timeout
        seen = []
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                break
            if command in line.split():
                return seen
            seen.append(line)
        raise AssertionError(f"the board never received {command}; it received {seen}")

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Service:
    """zelvar-cli serve --http on a free loopback port, in a copy of the demo's working folder,
    with its own configuration and runtime folders so no user file is read or touched."""

    def __init__(self, cli_exe, demo_dir, device):
        self.cli = cli_exe
        self.device = device
        self.folder = tempfile.TemporaryDirectory(prefix="zelvar-web-")
        root = self.folder.name
        self.work = os.path.join(root, "travail")
        shutil.copytree(demo_dir, self.work)
        config = os.path.join(root, "config", "zelvar")
        os.makedirs(config, mode=0o700)
        with open(os.open(os.path.join(config, "remote-token"), os.O_WRONLY | os.O_CREAT, 0o600), "w") as token:
            token.write(TOKEN + "\n")
        runtime = os.path.join(root, "run")
        os.makedirs(runtime, mode=0o700)
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(root, "config"), XDG_STATE_HOME=os.path.join(root, "state"),
                        XDG_RUNTIME_DIR=runtime,
                        LC_ALL="C.UTF-8")
        self.port = free_port()
        self.base = f"http://127.0.0.1:{self.port}/"
        self.process = subprocess.Popen([cli_exe, "serve", "--http", f"127.0.0.1:{self.port}", "--port", device],
                                        cwd=self.work, env=self.env, stdout=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while True:
            try:
                self.api("GET", "api/health")
                return
            except (urllib.error.URLError, ConnectionError):
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("zelvar-cli serve --http did not answer")
                time.sleep(0.05)

    def api(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Authorization": f"Bearer {TOKEN}"})
        with urllib.request.urlopen(request, timeout=5) as answer:
            return json.load(answer)

    def cli_command(self, *arguments):
        """A zelvar-cli command in the service's folder, as a user types it beside the service."""
        return subprocess.run([self.cli, *arguments, "--port", self.device], cwd=self.work, env=self.env,
                              capture_output=True, text=True, timeout=10)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        finally:
            self.folder.cleanup()


class ForeignPage:
    """Another web page on another port of 127.0.0.1, as an attacker on the same machine
    serves it: it tries to act on the remote at `target` and to listen to its events, and its
    server records the headers of every request it receives."""

    SCRIPT = """
const target = new URL(%(target)s);
const results = { websocket: "pending", events: "pending", fetch: "pending", form: "pending" };
window.results = results;
fetch(new URL("api/all-off", target), { method: "POST", mode: "no-cors", credentials: "include" })
    .then(() => { results.fetch = "sent"; }, () => { results.fetch = "failed"; });
const form = document.createElement("form");
form.method = "POST";
form.action = new URL("api/buttons/%(button)d/click", target);
form.target = "sink";
const submit = document.createElement("button");
form.append(submit);
document.body.append(form);
document.querySelector("iframe").addEventListener("load", () => { results.form = "sent"; });
submit.click();
const events = new EventSource(new URL("api/events", target), { withCredentials: true });
events.onopen = () => { results.events = "open"; };
events.onerror = () => { if (results.events === "pending") results.events = "refused"; events.close(); };
const socket = new WebSocket(new URL("api/events", target).href.replace("http:", "ws:"));
socket.onopen = () => { results.websocket = "open"; };
socket.onmessage = (message) => { results.websocket = "received " + message.data; };
socket.onclose = () => { if (results.websocket === "pending") results.websocket = "refused"; };
"""

    def __init__(self, target, button):
        page = ("<!DOCTYPE html><html><body><iframe name='sink'></iframe><script>"
                + self.SCRIPT % {"target": json.dumps(target), "button": button} + "</script></body></html>").encode()
        self.headers = []
        recorded = self.headers

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                recorded.append(dict(self.headers))
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(page)))
                self.end_headers()
                self.wfile.write(page)

            def log_message(self, *arguments):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.base = f"http://127.0.0.1:{self.server.server_address[1]}/"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def browser(phone=True):
    """Headless Chromium through chromedriver, both from Debian: a phone's screen (390 by 844,
    touch) or a desktop window."""
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            raise RuntimeError(f"{path} is missing: install chromium and chromium-driver (scripts/install-deps)")
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service as DriverService
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    options.add_argument("--headless=new")
    if phone:
        options.add_experimental_option("mobileEmulation",
                                        {"deviceMetrics": {"width": 390, "height": 844, "pixelRatio": 1, "touch": True}})
    else:
        options.add_argument("--window-size=1280,800")
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    return webdriver.Chrome(service=DriverService(executable_path=CHROMEDRIVER), options=options)


# True once the server has reported every relay's state to the page.
STATES_SHOWN = "return document.querySelectorAll('[data-relay][data-state]').length === 16"


def wait_for(driver, script, timeout=5.0):
    deadline = time.monotonic() + timeout
    while not driver.execute_script(script):
        if time.monotonic() > deadline:
            raise AssertionError(f"never true: {script}")
        time.sleep(0.01)
