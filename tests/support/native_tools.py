"""The native tools the end-to-end suites compare against: built on demand
in the native-release tree when they are missing, so that a suite never
skips for want of them."""

import os
import subprocess

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
RELEASE_TREE = os.path.join(ROOT, "build", "native-release")


def ensure(*tools):
    """Builds whichever of `tools` is missing; raises when one cannot be had."""
    missing = [tool for tool in tools if not os.access(tool, os.X_OK)]
    if not missing:
        return
    if any(os.path.commonpath([os.path.abspath(tool), RELEASE_TREE]) != RELEASE_TREE for tool in missing):
        raise RuntimeError("missing %s, outside %s: build it there first" % (", ".join(missing), RELEASE_TREE))
    print("building the native tools: %s" % ", ".join(os.path.basename(tool) for tool in missing), flush=True)
    subprocess.run(["cmake", "--preset", "native-release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "native-release", "--target", "ahx", "render_track_sequence"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    # A build that puts a tool elsewhere must not look like one that made it.
    still = [tool for tool in missing if not os.access(tool, os.X_OK)]
    if still:
        raise RuntimeError("the native-release build made no %s" % ", ".join(still))
