"""Waiting for a condition, the way the tests and scripts here wait for
something to happen: poll it, with a generous limit, instead of sleeping a
fixed time. Even "nothing happens" is a condition: a value that stays the
same for a while (`steady`)."""

import time


class Timeout(Exception):
    pass


def wait_for(condition, timeout, what, interval=0.02):
    """Polls condition() until it answers something true, and answers that;
    raises Timeout after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout("waited %.0f s for %s" % (timeout, what))
        time.sleep(interval)


def steady(value, seconds):
    """A condition for wait_for: true once value() has answered the same for
    `seconds` on end."""
    seen = {"value": object(), "since": 0.0}

    def still():
        now, current = time.monotonic(), value()
        if current != seen["value"]:
            seen.update(value=current, since=now)
        return now - seen["since"] >= seconds
    return still
