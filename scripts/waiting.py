"""Waiting for a condition, the way the tests and scripts here wait for
something to happen: poll it, with a generous limit, instead of sleeping a
fixed time. (A fixed time remains only where a test watches that nothing
happens, such as a pause holding the sound.)"""

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
