#!/usr/bin/env python3
"""Opens a page in a headless browser through its DevTools pipe and reports,
as one JSON object on stdout, what the page did in real time: the addresses
its frames navigated to, its console messages, its script errors and the
loads that failed.

usage: watch_page.py BROWSER URL WANT SECONDS

It stops once a frame has navigated to an address containing WANT and that
frame has finished loading, or after SECONDS, whichever comes first; with an
empty WANT it watches for SECONDS. The browser runs with a fresh profile
that is removed afterwards.
"""
import json
import os
import select
import subprocess
import sys
import tempfile
import time


class Pipe:
    """The browser's end of the DevTools protocol: JSON messages ended by NUL."""

    def __init__(self, write_fd, read_fd):
        self.write_fd = write_fd
        self.read_fd = read_fd
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.write_fd, json.dumps(message).encode() + b"\0")
        return self.next_id

    def receive(self, timeout):
        """The next message, or None when none came within timeout seconds."""
        deadline = time.monotonic() + timeout
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.read_fd], [], [], left)
            if not ready:
                return None
            chunk = os.read(self.read_fd, 1 << 16)
            if not chunk:
                return None
            self.buffer += chunk
        raw, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(raw)

    def next_event(self, timeout):
        if self.events:
            return self.events.pop(0)
        return self.receive(timeout)

    def call(self, method, params=None, session=None, timeout=120):
        """Sends a command and waits for its answer, keeping the events met."""
        wanted = self.send(method, params, session)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            message = self.receive(deadline - time.monotonic())
            if message is None:
                break
            if message.get("id") == wanted:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.events.append(message)
        raise RuntimeError(f"{method}: no answer")


def watch(pipe, url, want, seconds, report):
    targets = pipe.call("Target.getTargets")["targetInfos"]
    page = next(t for t in targets if t["type"] == "page")
    session = pipe.call("Target.attachToTarget", {"targetId": page["targetId"], "flatten": True})["sessionId"]
    for domain in ("Page", "Runtime", "Log"):
        pipe.call(domain + ".enable", session=session)
    pipe.call("Page.navigate", {"url": url}, session=session)

    deadline = time.monotonic() + seconds
    waiting_frame = None
    while time.monotonic() < deadline:
        message = pipe.next_event(deadline - time.monotonic())
        if message is None:
            break
        method = message.get("method")
        params = message.get("params", {})
        if method == "Page.frameNavigated":
            frame = params["frame"]
            report["navigated"].append(frame["url"])
            if want and want in frame["url"] and waiting_frame is None:
                waiting_frame = frame["id"]
        elif method == "Page.frameStoppedLoading" and waiting_frame and params.get("frameId") == waiting_frame:
            report["reached"] = True
            return
        elif method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", []))
            report["console"].append(f"{params.get('type')}: {text}")
            if params.get("type") in ("error", "assert"):
                report["errors"].append(text)
        elif method == "Runtime.exceptionThrown":
            details = params["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text", "")
            report["errors"].append(f"{text} ({details.get('url', '')}:{details.get('lineNumber', '')})")
        elif method == "Log.entryAdded":
            entry = params["entry"]
            line = f"{entry.get('level')}: {entry.get('text')} {entry.get('url', '')}"
            report["console"].append(line)
            if entry.get("level") == "error":
                report["errors"].append(line)
    if not want:
        report["reached"] = True


def main():
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    browser, url, want, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    to_browser_read, to_browser_write = os.pipe()
    from_browser_read, from_browser_write = os.pipe()

    def give_fds():
        # The browser reads commands on descriptor 3 and writes answers on 4.
        os.dup2(to_browser_read, 3)
        os.dup2(from_browser_write, 4)

    report = {"navigated": [], "console": [], "errors": [], "reached": False}
    with tempfile.TemporaryDirectory(prefix="vexa-watch-") as profile:
        process = subprocess.Popen(
            [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--no-first-run", "--no-default-browser-check", "--mute-audio", "--remote-debugging-pipe",
             "--window-size=1024,768", "--user-data-dir=" + profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=give_fds, pass_fds=(3, 4))
        os.close(to_browser_read)
        os.close(from_browser_write)
        pipe = Pipe(to_browser_write, from_browser_read)
        try:
            watch(pipe, url, want, seconds, report)
            try:
                pipe.call("Browser.close", timeout=5)
            except RuntimeError:
                pass
        except (RuntimeError, StopIteration, OSError) as e:
            report["errors"].append(f"watching failed: {e}")
        finally:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            os.close(to_browser_write)
            os.close(from_browser_read)
    print(json.dumps(report))
    return 0


if __name__ == "__main__":
    sys.exit(main())
