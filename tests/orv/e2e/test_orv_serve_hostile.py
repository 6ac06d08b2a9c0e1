"""orv serve against hostile clients on loopback: foreign Host names, other
origins, form posts, missing, wrong and old tokens, oversize requests and a
crowd of idle connections. Every refused change must leave the instrument's
settings as they were and nothing stored as its dark or reference (read back
through the API)."""

import os
import signal
import socket
import time
import unittest

from orv_e2e import orv, scratch
from serve_session import ServeSession

WANTED = b'{"instrument": "ORVSIM01", "integration": "500ms", "average": 7}'
FORM = b"instrument=ORVSIM01&integration=500ms&average=7"
STORE = b'{"instrument": "ORVSIM01", "what": "dark"}'
STORE_FORM = b"instrument=ORVSIM01&what=dark"
JSON_TYPE = {"Content-Type": "application/json"}
FOREIGN = "http://evil.example"


class ServeHostile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # A token of an earlier run, which must not open this one.
        earlier = ServeSession("-d", "ORVSIM01")
        cls.old_token = earlier.token
        assert earlier.stop() == 0
        cls.session = ServeSession("-d", "ORVSIM01", "--integration", "5ms")
        cls.state = cls.read_state()

    @classmethod
    def tearDownClass(cls):
        status = cls.session.stop()
        assert status == 0, f"orv serve ended with {status}"

    @classmethod
    def read_state(cls):
        status, instruments = cls.session.json("/api/instruments")
        assert status == 200, status
        return {key: instruments[0][key] for key in ("settings", "dark", "reference")}

    def refused(self, expected, method, path, headers, body=None):
        answer = self.session.request(method, path, headers, body)
        self.assertIn(answer.status, expected, (method, path, headers, answer.body))
        self.assertEqual(self.read_state(), self.state, (method, path, headers))
        return answer

    def test_a_foreign_host_gets_neither_page_nor_api(self):
        token = self.session.authorized()
        for host in ("evil.example", f"evil.example:{self.session.port}",
                     f"127.0.0.1:{self.session.port + 1}", "127.0.0.1"):
            for path in ("/", "/chart.min.js", "/api/instruments",
                         "/api/spectrum?instrument=ORVSIM01"):
                self.refused((421, 403), "GET", path, dict(token, Host=host))
            self.refused((421, 403), "POST", "/api/settings",
                         dict(token, Host=host, **{"Content-Type": "application/json"}), WANTED)
            self.refused((421, 403), "POST", "/api/store", dict(token, Host=host, **JSON_TYPE),
                         STORE)

    def test_cross_origin_changes_are_refused_in_every_form(self):
        token = self.session.authorized()
        for content_type in ("application/x-www-form-urlencoded", "multipart/form-data; boundary=x",
                             "text/plain"):
            # The form a foreign page posts: its Origin, any content type a form can send.
            self.refused((403,), "POST", "/api/settings",
                         {"Origin": FOREIGN, "Content-Type": content_type}, FORM)
            # Even with the token and no origin at all, a form body is never a change.
            self.refused((415,), "POST", "/api/settings", dict(token, **{
                "Content-Type": content_type}), FORM)
            self.refused((403,), "POST", "/api/store",
                         {"Origin": FOREIGN, "Content-Type": content_type}, STORE_FORM)
            self.refused((415,), "POST", "/api/store", dict(token, **{
                "Content-Type": content_type}), STORE_FORM)
        for headers in ({"Origin": FOREIGN}, {"Origin": "null"}, {"Sec-Fetch-Site": "cross-site"},
                        {"Referer": FOREIGN + "/attack.html"}):
            self.refused((403,), "POST", "/api/settings",
                         dict(token, **headers, **{"Content-Type": "application/json"}), WANTED)
            self.refused((403,), "POST", "/api/pause",
                         dict(token, **headers, **{"Content-Type": "application/json"}),
                         b'{"paused": true}')
            self.refused((403,), "POST", "/api/store", dict(token, **headers, **JSON_TYPE), STORE)
        # A link or an image cannot store: the store is a POST only.
        self.refused((404, 405), "GET", "/api/store?instrument=ORVSIM01&what=dark", token)

    def test_the_token_is_required_and_must_be_this_runs(self):
        json_type = {"Content-Type": "application/json"}
        self.refused((401,), "GET", "/", {})
        self.refused((401,), "GET", "/api/instruments", {})
        self.refused((401,), "POST", "/api/settings", json_type, WANTED)
        self.refused((401,), "POST", "/api/store", json_type, STORE)
        for wrong in (self.old_token, self.session.token[:-1], self.session.token + "0",
                      "0" * len(self.session.token)):
            self.assertNotEqual(wrong, self.session.token)
            self.refused((403,), "GET", "/?token=" + wrong, {})
            self.refused((403,), "GET", "/api/spectrum?instrument=ORVSIM01",
                         {"Authorization": "Bearer " + wrong})
            self.refused((403,), "POST", "/api/settings",
                         dict(json_type, Cookie=f"orv_token_{self.session.port}={wrong}"), WANTED)
            self.refused((403,), "POST", "/api/store",
                         dict(json_type, Authorization="Bearer " + wrong), STORE)
        # Another run's cookie is another cookie.
        self.refused((401,), "GET", "/api/instruments",
                     {"Cookie": f"orv_token_{self.session.port + 1}={self.session.token}"})

    def test_the_token_in_a_foreign_origins_request_opens_nothing(self):
        cookie = f"orv_token_{self.session.port}={self.session.token}"
        for credential in ({"Cookie": cookie}, self.session.authorized()):
            headers = dict(credential, Origin=FOREIGN)
            self.refused((403,), "GET", "/api/spectrum?instrument=ORVSIM01", headers)
            self.refused((403,), "POST", "/api/settings",
                         dict(headers, **{"Content-Type": "application/json"}), WANTED)
            self.refused((403,), "POST", "/api/store", dict(headers, **JSON_TYPE), STORE)
            self.refused((403,), "GET", "/api/spectrum.csv?instrument=ORVSIM01&mode=absorbance",
                         headers)

    def test_the_page_trades_its_token_for_a_strict_cookie_and_answers_with_safe_headers(self):
        answer = self.session.request("GET", "/?token=" + self.session.token)
        self.assertEqual(answer.status, 303)
        self.assertEqual(answer.headers["Location"], "/")
        cookie = answer.headers["Set-Cookie"]
        self.assertTrue(cookie.startswith(f"orv_token_{self.session.port}={self.session.token};"))
        for attribute in ("HttpOnly", "SameSite=Strict", "Path=/"):
            self.assertIn(attribute, cookie)
        page = self.session.request("GET", "/", {"Cookie": cookie.split(";")[0]})
        self.assertEqual(page.status, 200)
        self.assertNotIn(self.session.token.encode(), page.body)
        policy = page.headers["Content-Security-Policy"]
        for directive in ("script-src 'self'", "frame-ancestors 'none'", "default-src 'none'"):
            self.assertIn(directive, policy)
        self.assertNotIn(b"<script>", page.body)  # no inline script at all
        api = self.session.request("GET", "/api/instruments", self.session.authorized())
        for answer in (page, api):
            self.assertEqual(answer.headers["X-Content-Type-Options"], "nosniff")
            self.assertEqual(answer.headers["Referrer-Policy"], "no-referrer")
        self.assertEqual(api.headers["Cache-Control"], "no-store")

    def test_oversize_requests_are_refused_and_the_server_stays(self):
        token = self.session.authorized({"Content-Type": "application/json"})
        self.refused((413,), "POST", "/api/settings", token,
                     WANTED[:-1] + b', "padding": "' + b"x" * 8000 + b'"}')
        self.refused((413,), "POST", "/api/store", token,
                     STORE[:-1] + b', "padding": "' + b"x" * 8000 + b'"}')
        self.refused((414,), "GET", "/api/spectrum?instrument=ORVSIM01&x=" + "a" * 4000, token)
        # Beyond what is read of one request at all: refused or cut off, never kept.
        bearer = (f"Host: 127.0.0.1:{self.session.port}\r\n"
                  f"Authorization: Bearer {self.session.token}\r\n").encode()
        for request in (b"GET /?" + b"a" * 200000 + b" HTTP/1.1\r\n" + bearer + b"\r\n",
                        b"GET / HTTP/1.1\r\n" + bearer + (b"X-Filler: " + b"b" * 100 + b"\r\n") * 3000
                        + b"\r\n",
                        b"POST /api/settings HTTP/1.1\r\nContent-Type: application/json\r\n" +
                        bearer + b"Content-Length: 1000000000\r\n\r\n" + b"{" * 100000):
            self.assertNotIn(b" 200 ", self.raw_exchange(request)[:20])
        self.assertEqual(self.read_state(), self.state)

    def raw_exchange(self, data):
        """What the server answers to these bytes ('' when it closes first)."""
        with socket.create_connection(("127.0.0.1", self.session.port), timeout=10) as client:
            try:
                client.sendall(data)
            except OSError:
                pass  # the server closed while we sent: a refusal
            try:
                return client.recv(4096)
            except OSError:
                return b""

    def test_idle_and_slow_connections_do_not_starve_a_real_client(self):
        crowd = []
        try:
            for number in range(100):
                idle = socket.create_connection(("127.0.0.1", self.session.port), timeout=10)
                if number % 2:
                    idle.sendall(b"GET /api/instruments HTTP/1.1\r\nHost: 127.0.0.1\r\n")  # slow
                crowd.append(idle)
            started = time.monotonic()
            page = self.session.request("GET", "/", self.session.authorized(), timeout=10)
            status, spectrum = self.session.json("/api/spectrum", {"instrument": "ORVSIM01"})
            took = time.monotonic() - started
            self.assertEqual((page.status, status), (200, 200))
            self.assertTrue(spectrum["counts"])
            self.assertLess(took, 3.0, f"page and spectrum took {took:.1f} s")
            print(f"page and spectrum with 100 idle connections open: {took:.3f} s")
        finally:
            for idle in crowd:
                idle.close()


class ServeOptions(unittest.TestCase):
    def test_no_token_only_on_loopback_and_token_files_are_checked(self):
        run = orv("serve", "--bind", "0.0.0.0", "--no-token", "--port", "0")
        self.assertEqual(run.status, 1, run)
        self.assertIn("--no-token", run.err)
        folder = scratch("serve_options")
        bad = os.path.join(folder, "bad-token")
        with open(bad, "w", encoding="utf-8") as file:
            file.write("short\n")
        run = orv("serve", "--token-file", bad, "--port", "0")
        self.assertEqual(run.status, 1, run)
        self.assertNotIn("short", run.err)

    def test_a_token_file_gives_the_token_and_keeps_it_off_the_start_line(self):
        path = os.path.join(scratch("serve_token_file"), "token")
        token = "script-token_0123456789"
        with open(path, "w", encoding="utf-8") as file:
            file.write(token + "\n")
        session = ServeSession("-d", "ORVSIM01", "--token-file", path, token=token)
        try:
            self.assertNotIn(token, session.start_line)
            self.assertEqual(session.json("/api/instruments")[0], 200)
            self.assertEqual(session.request("GET", "/api/instruments").status, 401)
        finally:
            self.assertEqual(session.stop(), 0)

    def test_no_token_on_loopback_warns_and_still_checks_host_and_origin(self):
        session = ServeSession("-d", "ORVSIM01", "--no-token")
        try:
            self.assertIsNone(session.token)
            self.assertEqual(session.request("GET", "/api/instruments").status, 200)
            self.assertEqual(session.request("GET", "/", {"Host": "evil.example"}).status, 421)
            answer = session.request("POST", "/api/settings",
                                     {"Origin": FOREIGN, "Content-Type": "application/json"},
                                     WANTED)
            self.assertEqual(answer.status, 403)
        finally:
            session.process.send_signal(signal.SIGINT)
            _, err = session.process.communicate(timeout=30)
        self.assertIn(b"warning: --no-token", err)


if __name__ == "__main__":
    unittest.main()
