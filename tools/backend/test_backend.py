#!/usr/bin/env python3
"""Self-test of the local backend: starts its own instance on a free loopback port (so it never meets the
suite's backend on 443) and checks the behaviours that the Windows-side tests rely on."""

import base64
import http.client
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import warnings

HERE = os.path.dirname(os.path.abspath(__file__))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Backend:
    """One backend process with its own certificates."""

    def __init__(self, folder, scenario=None):
        self.certs = os.path.join(folder, "certs")
        subprocess.run(["bash", os.path.join(HERE, "make-certs.sh"), self.certs], check=True)
        self.port = free_port()
        self.http_port = free_port()
        self.tls10_port = free_port()
        self.other_name_port = free_port()
        command = [sys.executable, os.path.join(HERE, "backend.py"), "--certs", self.certs, "--port", str(self.port),
                   "--http-port", str(self.http_port), "--tls10-port", str(self.tls10_port),
                   "--other-name-port", str(self.other_name_port)]
        if scenario:
            command += ["--scenario", scenario]
        self.process = subprocess.Popen(command)
        self.context = ssl.create_default_context(cafile=os.path.join(self.certs, "ca.pem"))
        deadline = time.monotonic() + 10
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(10)

    def connection(self, timeout=10):
        return http.client.HTTPSConnection("localhost", self.port, context=self.context, timeout=timeout)

    def raw(self, path, port=None, context=None):
        """Every byte of the answer to a GET of `path`, read until the server closes the connection."""
        with socket.create_connection(("127.0.0.1", port or self.port), timeout=10) as plain:
            with (context or self.context).wrap_socket(plain, server_hostname="localhost") as secure:
                secure.sendall(b"GET " + path.encode() + b" HTTP/1.1\r\nHost: localhost\r\n\r\n")
                data = b""
                while True:
                    try:
                        chunk = secure.recv(65536)
                    except (ssl.SSLError, OSError):
                        return data
                    if not chunk:
                        return data
                    data += chunk

    def call(self, method, path, body=None, headers=None):
        connection = self.connection()
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def control(self, method, action, document=None):
        body = json.dumps(document).encode() if document is not None else None
        status, _, data = self.call(method, "/__control/" + action, body)
        if status != 200:
            raise AssertionError("control %s: %d %s" % (action, status, data))
        return json.loads(data)

    def script(self, path, responses, match="exact"):
        self.control("POST", "script", {"path": path, "match": match, "responses": responses})

    def requests(self, query=""):
        return self.control("GET", "requests" + query)["requests"]


class BackendTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        with open(os.path.join(cls.folder.name, "file.bin"), "wb") as out:
            out.write(b"from a file")
        scenario = os.path.join(cls.folder.name, "scenario.json")
        with open(scenario, "w") as out:
            json.dump([{"path": "/f/demo.bin", "responses": [{"bodyFile": "file.bin"}]}], out)
        cls.backend = Backend(cls.folder.name, scenario)

    @classmethod
    def tearDownClass(cls):
        cls.backend.stop()
        cls.folder.cleanup()

    def setUp(self):
        self.backend.control("POST", "reset", {})

    def test_unscripted_paths_and_the_request_log(self):
        status, _, body = self.backend.call("POST", "/o?x=1", b'{"a":"b"}', {"X-One": "1", "Content-Type": "j"})
        self.assertEqual(status, 200)
        self.assertEqual(json.loads(body)["l"], "US")
        self.assertEqual(self.backend.call("POST", "/zbd", b"{}")[2], b"{}")
        self.assertEqual(self.backend.call("GET", "/f/missing.png")[0], 404)

        log = self.backend.requests()
        self.assertEqual([r["path"] for r in log], ["/o", "/zbd", "/f/missing.png"])
        first = log[0]
        self.assertEqual((first["method"], first["query"], first["target"]), ("POST", "x=1", "/o?x=1"))
        self.assertEqual(base64.b64decode(first["body"]), b'{"a":"b"}')
        names = [name for name, _ in first["headers"]]
        self.assertLess(names.index("X-One"), names.index("Content-Type"))
        self.assertEqual(len(self.backend.requests("?path=/zbd")), 1)

    def test_script_answers_in_order_and_repeats_the_last(self):
        self.backend.script("/o", [{"status": 503, "body": "busy"}, {"body": "{}"}])
        self.backend.script("/f/", [{"body": "short prefix"}], match="prefix")
        self.backend.script("/f/img/", [{"body": "long prefix"}], match="prefix")
        self.assertEqual([self.backend.call("POST", "/o")[0] for _ in range(3)], [503, 200, 200])
        self.assertEqual(self.backend.call("GET", "/f/img/a.png")[2], b"long prefix")
        self.assertEqual(self.backend.call("GET", "/f/x.exe")[2], b"short prefix")
        self.backend.script("/f/img/", [], match="prefix")
        self.assertEqual(self.backend.call("GET", "/f/img/a.png")[2], b"short prefix")

    def test_generated_bodies(self):
        self.backend.script("/g", [{"bodySize": 1000003, "chunkSize": 4096}])
        self.backend.script("/p", [{"bodySize": 7, "pattern": "ab", "prefix": "<", "suffixBase64": "AD4="}])
        status, headers, body = self.backend.call("GET", "/g")
        self.assertEqual(headers["Content-Length"], "1000003")
        self.assertEqual(body, bytes(i % 251 for i in range(1000003)))
        self.assertEqual(self.backend.call("GET", "/p")[2], b"<abababa\x00>")

    def test_lengths_and_broken_connections(self):
        self.backend.script("/none", [{"body": "until close", "noContentLength": True}])
        self.backend.script("/long", [{"body": "12345", "contentLength": 10}])
        self.backend.script("/short", [{"body": "1234567890", "contentLength": 4}])
        self.backend.script("/cut", [{"body": "1234567890", "closeAfter": 3}])
        self.backend.script("/drop", [{"drop": True}])

        status, headers, body = self.backend.call("GET", "/none")
        self.assertNotIn("Content-Length", headers)
        self.assertEqual(body, b"until close")
        with self.assertRaises(http.client.IncompleteRead) as long:
            self.backend.call("GET", "/long")
        self.assertEqual(long.exception.partial, b"12345")
        self.assertEqual(self.backend.call("GET", "/short")[2], b"1234")
        with self.assertRaises(http.client.IncompleteRead) as cut:
            self.backend.call("GET", "/cut")
        self.assertEqual(cut.exception.partial, b"123")
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError)):
            self.backend.call("GET", "/drop")

    def test_redirects_headers_and_chunked_coding(self):
        self.backend.script("/r", [{"redirect": "https://localhost/f/x", "headers": [["X-A", "1"], ["X-B", "2"]]}])
        self.backend.script("/c", [{"body": "chunked body", "chunked": True, "chunkSize": 5}])
        status, headers, _ = self.backend.call("GET", "/r")
        self.assertEqual((status, headers["Location"], headers["X-A"]), (302, "https://localhost/f/x", "1"))
        status, headers, body = self.backend.call("GET", "/c")
        self.assertEqual((headers["Transfer-Encoding"], body), ("chunked", b"chunked body"))

    def test_broken_framing(self):
        self.backend.script("/cut-chunked", [{"body": "0123456789", "chunked": True, "chunkSize": 4, "closeAfter": 6}])
        self.backend.script("/bad-chunk", [{"body": "abcd", "chunked": True, "badChunkSize": "zz"}])
        self.backend.script(
            "/inside-chunk", [{"body": "0123456789", "chunked": True, "chunkSize": 4, "closeAfter": 6, "cutInsideChunk": True}]
        )
        self.backend.script("/cut-headers", [{"body": "never sent", "headers": [["X-A", "1"]], "cutHeaders": True}])

        cut = self.backend.raw("/cut-chunked")
        self.assertTrue(cut.endswith(b"4\r\n0123\r\n2\r\n45\r\n"), cut)
        inside = self.backend.raw("/inside-chunk")
        self.assertTrue(inside.endswith(b"4\r\n0123\r\n4\r\n45"), inside)
        bad = self.backend.raw("/bad-chunk")
        self.assertTrue(bad.endswith(b"4\r\nabcd\r\nzz\r\nmore bytes\r\n"), bad)
        headers = self.backend.raw("/cut-headers")
        self.assertTrue(headers.startswith(b"HTTP/1.1 200 OK\r\n"), headers)
        self.assertIn(b"X-A: 1\r\n", headers)
        self.assertNotIn(b"\r\n\r\n", headers)
        self.assertNotIn(b"never sent", headers)

    def test_ranges_validators_and_counted_bytes(self):
        tagged = {"bodySize": 1000, "ranges": True, "headers": [["ETag", '"v1"']]}
        self.backend.script("/r", [tagged])
        status, headers, body = self.backend.call("GET", "/r")
        self.assertEqual((status, headers["Accept-Ranges"], body), (200, "bytes", bytes(i % 251 for i in range(1000))))
        status, headers, body = self.backend.call("GET", "/r", headers={"Range": "bytes=600-", "If-Range": '"v1"'})
        self.assertEqual((status, headers["Content-Range"], headers["Content-Length"]), (206, "bytes 600-999/1000", "400"))
        self.assertEqual(body, bytes(i % 251 for i in range(600, 1000)))
        # Another version: the whole body again.
        status, _, body = self.backend.call("GET", "/r", headers={"Range": "bytes=600-", "If-Range": '"v0"'})
        self.assertEqual((status, len(body)), (200, 1000))
        status, headers, _ = self.backend.call("GET", "/r", headers={"Range": "bytes=1000-"})
        self.assertEqual((status, headers["Content-Range"]), (416, "bytes */1000"))
        # A cut range answer counts the bytes of that answer.
        self.backend.script("/cut", [dict(tagged, closeAfter=100)])
        with self.assertRaises(http.client.IncompleteRead) as cut:
            self.backend.call("GET", "/cut", headers={"Range": "bytes=500-"})
        self.assertEqual(cut.exception.partial, bytes(i % 251 for i in range(500, 600)))
        # Without "ranges" a Range is ignored.
        self.backend.script("/whole", [{"bodySize": 10}])
        self.assertEqual(self.backend.call("GET", "/whole", headers={"Range": "bytes=5-"})[0], 200)
        sent = [r["bodyBytes"] for r in self.backend.requests()]
        self.assertEqual(sent, [1000, 400, 1000, 0, 100, 10])

    def test_refusal_and_connection_log(self):
        self.backend.script("/x", [{"body": "up"}])
        self.backend.control("POST", "refuse", {"seconds": 30})
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError)):
            self.backend.call("GET", "/x")
        self.backend.control("POST", "refuse", {"seconds": 0})
        self.assertEqual(self.backend.call("GET", "/x")[2], b"up")
        self.assertEqual([r.get("refused", False) for r in self.backend.requests()], [True, False])
        plain = socket.create_connection(("127.0.0.1", self.backend.http_port), timeout=10)
        plain.close()
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            listeners = [c["listener"] for c in self.backend.control("GET", "connections")["connections"]]
            if "http" in listeners:
                break
            time.sleep(0.05)
        self.assertIn("http", listeners)

    def test_cleartext_and_tls10_listeners_answer_the_same_scripts(self):
        self.backend.script("/f/x", [{"body": "same"}])
        plain = http.client.HTTPConnection("localhost", self.backend.http_port, timeout=10)
        plain.request("GET", "/f/x")
        self.assertEqual(plain.getresponse().read(), b"same")
        plain.close()

        with self.assertRaises(ssl.SSLError):
            self.backend.raw("/f/x", self.backend.tls10_port)
        old = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        old.load_verify_locations(os.path.join(self.backend.certs, "ca.pem"))
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            old.minimum_version = ssl.TLSVersion.TLSv1
        old.set_ciphers("DEFAULT:@SECLEVEL=0")
        self.assertTrue(self.backend.raw("/f/x", self.backend.tls10_port, old).endswith(b"same"))

        # The certificate of the other listener, of the same CA, names another host than the one asked for.
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.backend.raw("/f/x", self.backend.other_name_port)
        named = ssl.create_default_context(cafile=os.path.join(self.backend.certs, "ca.pem"))
        named.check_hostname = False
        self.assertTrue(self.backend.raw("/f/x", self.backend.other_name_port, named).endswith(b"same"))

        self.assertEqual([r["listener"] for r in self.backend.requests()], ["http", "tls10", "othername"])

    def test_delays(self):
        self.backend.script("/slow", [{"body": "x", "delay": 0.6}])
        self.backend.script("/drip", [{"body": "abc", "chunkSize": 1, "chunkDelay": 0.2}])
        self.backend.script("/drip-headers", [{"body": "x", "headers": [["X-A", "1"], ["X-B", "2"]], "headerDelay": 0.3}])
        start = time.monotonic()
        self.backend.call("GET", "/slow")
        self.assertGreaterEqual(time.monotonic() - start, 0.6)
        start = time.monotonic()
        self.assertEqual(self.backend.call("GET", "/drip")[2], b"abc")
        self.assertGreaterEqual(time.monotonic() - start, 0.4)
        start = time.monotonic()
        status, headers, _ = self.backend.call("GET", "/drip-headers")
        self.assertEqual((headers["X-A"], headers["X-B"]), ("1", "2"))
        self.assertGreaterEqual(time.monotonic() - start, 0.6)

    def test_request_log_waits_for_late_requests(self):
        threading.Timer(0.5, lambda: self.backend.call("POST", "/zbd", b"{}")).start()
        start = time.monotonic()
        log = self.backend.requests("?path=/zbd&min=1&timeout=10")
        self.assertEqual(len(log), 1)
        self.assertLess(time.monotonic() - start, 5)

    def test_scenario_files_and_reset(self):
        self.assertEqual(self.backend.call("GET", "/f/demo.bin")[0], 404, "reset forgets the scenario")
        self.backend.control("POST", "reset", {"scenario": True})
        self.assertEqual(self.backend.call("GET", "/f/demo.bin")[2], b"from a file")
        self.backend.script("/missing", [{"bodyFile": "/nonexistent/file"}])
        self.assertEqual(self.backend.call("GET", "/missing")[0], 500)

    def test_a_client_that_stops_reading_holds_up_nobody(self):
        self.backend.script("/huge", [{"bodySize": 256 << 20}])
        stalled = self.backend.connection()
        stalled.request("GET", "/huge")
        stalled.getresponse()  # headers only; the body is never read
        start = time.monotonic()
        self.assertEqual(self.backend.call("GET", "/__control/health")[0], 200)
        self.assertLess(time.monotonic() - start, 2)
        stalled.close()


class StopTest(unittest.TestCase):
    def test_sigterm_stops_with_an_answer_in_flight(self):
        with tempfile.TemporaryDirectory() as folder:
            backend = Backend(folder)
            backend.script("/slow", [{"body": "x", "delay": 60}])
            waiting = backend.connection(timeout=30)
            waiting.request("GET", "/slow")
            time.sleep(0.3)
            start = time.monotonic()
            backend.process.send_signal(signal.SIGTERM)
            self.assertEqual(backend.process.wait(10), 0)
            self.assertLess(time.monotonic() - start, 3)
            waiting.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
