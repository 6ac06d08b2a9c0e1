"""An `orv serve` process for a test: started on a free loopback port, its
address and token read from its first line, stopped with Ctrl-C (SIGINT).
Requests go as a script sends them: the token in an Authorization header,
changes as JSON."""

import http.client
import json
import re
import signal
import subprocess
import urllib.parse

from orv_e2e import start_orv


class Answer:
    def __init__(self, response, body):
        self.status = response.status
        self.body = body
        self.headers = response.headers
        self.content_type = response.headers.get("Content-Type")


class ServeSession:
    def __init__(self, *args, scenario_name="fast", transcript=None, token=None):
        self.process = start_orv("serve", "--port", "0", *args, scenario_name=scenario_name,
                                 transcript=transcript)
        self.start_line = self.process.stdout.readline().decode()
        match = re.search(r"at (http://127\.0\.0\.1:(\d+)/)(\?token=([0-9a-f]+))?",
                          self.start_line)
        if not match:
            self.process.kill()
            raise RuntimeError("orv serve did not start: " + self.start_line +
                               self.process.stderr.read().decode())
        self.url = match.group(1)
        self.port = int(match.group(2))
        self.token = token or match.group(4)  # None with --no-token
        self.page_url = self.url + ("?token=" + self.token if self.token else "")

    def request(self, method, path, headers=None, body=None, timeout=30):
        """An Answer to exactly these headers (Host: the server's, unless given)."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            connection.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
            headers = dict(headers or {})
            headers.setdefault("Host", f"127.0.0.1:{self.port}")
            if body is not None:
                headers["Content-Length"] = str(len(body))
            for name, value in headers.items():
                connection.putheader(name, value)
            connection.endheaders(body)
            response = connection.getresponse()
            return Answer(response, response.read())
        finally:
            connection.close()

    def authorized(self, headers=None):
        headers = dict(headers or {})
        if self.token:
            headers["Authorization"] = "Bearer " + self.token
        return headers

    def get(self, path, params=None):
        """(status, body bytes, content type) of a GET with the token."""
        query = "?" + urllib.parse.urlencode(params) if params else ""
        answer = self.request("GET", path + query, self.authorized())
        return answer.status, answer.body, answer.content_type

    def post(self, path, fields):
        """(status, body bytes, content type) of a change: fields as JSON, with the token."""
        answer = self.request("POST", path,
                              self.authorized({"Content-Type": "application/json"}),
                              json.dumps(fields).encode())
        return answer.status, answer.body, answer.content_type

    def json(self, path, params=None):
        status, body, _ = self.get(path, params)
        return status, json.loads(body) if body else None

    def stop(self):
        """Ctrl-C; returns the exit status. Under wine a SIGINT now and then
        never reaches the program's console handler, so Ctrl-C is pressed
        again every 5 s, as a user would (the program treats a second one
        like the first), for 30 s in all."""
        for _ in range(6):
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.communicate(timeout=5)
                return self.process.returncode
            except subprocess.TimeoutExpired:
                continue
        self.process.kill()
        self.process.communicate()
        return self.process.returncode
