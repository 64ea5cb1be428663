#!/usr/bin/env python3
"""A port of the server that another program holds: serve start fails and names the port and the
setting the tree's ports follow, instead of leaving the tests to fail against a stranger.
  port_taken_test.py SERVE CERTS FIRST_PORT SETTING"""
import socket
import subprocess
import sys
import tempfile

serve, certs, first, setting = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
ports = {"http": first, "https": first + 1, "untrusted": first + 2, "mismatch": first + 3}
failures = 0
for taken_by, port in ports.items():
    holder = socket.socket()
    holder.bind(("127.0.0.1", port))
    holder.listen()
    with tempfile.TemporaryDirectory() as work:
        result = subprocess.run(
            [serve, "start", work + "/server.pid", "--root", work, "--certs", certs,
             "--host", "127.0.0.1"] +
            ["--%s-port=%d" % item for item in ports.items()] + ["--ports-from", setting],
            capture_output=True, text=True, timeout=120)
        subprocess.run([serve, "stop", work + "/server.pid"], capture_output=True)
    holder.close()
    expected = "127.0.0.1:%d for %s: the port is taken" % (port, taken_by)
    if result.returncode == 0 or expected not in result.stderr or setting not in result.stderr:
        print("%s port taken: exit %d, expected a failure naming /%s/ and %s:\n%s"
              % (taken_by, result.returncode, expected, setting, result.stderr))
        failures += 1
sys.exit(1 if failures else 0)
