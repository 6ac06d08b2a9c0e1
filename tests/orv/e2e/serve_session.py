"""An `orv serve` process for a test: started on a free loopback port, its
address read from its first line, stopped with Ctrl-C (SIGINT)."""

import re
import signal
import subprocess
import json
import urllib.error
import urllib.parse
import urllib.request

from orv_e2e import start_orv


class ServeSession:
    def __init__(self, *args, scenario_name="fast", transcript=None):
        self.process = start_orv("serve", "--port", "0", *args, scenario_name=scenario_name,
                                 transcript=transcript)
        line = self.process.stdout.readline().decode()
        match = re.search(r"at (http://127\.0\.0\.1:\d+/)", line)
        if not match:
            self.process.kill()
            raise RuntimeError("orv serve did not start: " + line +
                               self.process.stderr.read().decode())
        self.url = match.group(1)

    def get(self, path, params=None):
        """(status, body bytes, content type) of a GET."""
        query = "?" + urllib.parse.urlencode(params) if params else ""
        return self._open(urllib.request.Request(self.url + path.lstrip("/") + query))

    def post(self, path, params):
        data = urllib.parse.urlencode(params).encode()
        return self._open(urllib.request.Request(self.url + path.lstrip("/"), data=data))

    def json(self, path, params=None):
        status, body, _ = self.get(path, params)
        return status, json.loads(body) if body else None

    @staticmethod
    def _open(request):
        try:
            with urllib.request.urlopen(request, timeout=30) as response:
                return response.status, response.read(), response.headers.get("Content-Type")
        except urllib.error.HTTPError as error:
            return error.code, error.read(), error.headers.get("Content-Type")

    def stop(self):
        """Ctrl-C; returns the exit status."""
        self.process.send_signal(signal.SIGINT)
        try:
            self.process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.communicate()
        return self.process.returncode
