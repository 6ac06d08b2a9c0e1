"""orv serve of an installed program (ORV_PROGRAM, under ORV_EMULATOR) asked by
a client on this machine over loopback: the page with the run's token, the
instruments through the API, and refusals of a foreign Host, of a request
without the token and of a foreign Origin's change; then Ctrl-C ends it with
status 0. For scripts/windows-installer-check.sh. Exit status 0 when every
check passed, 1 otherwise."""

import json
import sys

from orv_e2e import Checklist
from serve_session import ServeSession


def main():
    check = Checklist()

    session = ServeSession("-d", "ORVSIM01")
    try:
        status, body, content_type = session.get("/")
        check(status == 200 and "html" in (content_type or "") and b"<html" in body.lower(),
              f"the page with the token ({status}, {content_type})")
        status, body, content_type = session.get("/api/instruments")
        serials = [entry["chip_serial"] for entry in json.loads(body)] if status == 200 else []
        check(serials == ["ORVSIM01"] and "json" in (content_type or ""),
              f"the API lists ORVSIM01 ({status}, {serials})")
        refused = session.request("GET", "/api/instruments",
                                  session.authorized({"Host": "evil.example"})).status
        check(refused == 421, f"a foreign Host is refused ({refused})")
        refused = session.request("GET", "/api/instruments").status
        check(refused == 401, f"no token is refused ({refused})")
        refused = session.request(
            "POST", "/api/settings",
            session.authorized({"Origin": "http://evil.example",
                                "Content-Type": "application/json"}),
            b'{"instrument": "ORVSIM01", "integration": "500ms"}').status
        check(refused == 403, f"a foreign Origin's change is refused ({refused})")
    finally:
        status = session.stop()
    check(status == 0, f"Ctrl-C ends orv serve with status 0 ({status})")
    return check.exit_status()


if __name__ == "__main__":
    sys.exit(main())
