#!/usr/bin/env python3
"""Writes the backend's scenario file for the demo and the benchmark from tools/demo/scenario.json.

Usage: make-scenario.py FAKE_INSTALLER OUTPUT [--installer-mib PATH=MIB ...] [--rate MIB_PER_S] [--hash]

Each response with "installer": N becomes the stand-in installer followed by N MiB of padding (a program with
trailing data runs as before), streamed at about --rate MiB/s (unlimited with 0) so the progress bar is seen
moving; "json" becomes the body; "bodyFile" names a file beside scenario.json. With --hash every offer whose
installer is served here publishes that installer's SHA-256 ("sha256"), and so does the DLM product.
"""
import argparse
import base64
import hashlib
import json
import os

here = os.path.dirname(os.path.abspath(__file__))
parser = argparse.ArgumentParser()
parser.add_argument("fake_installer")
parser.add_argument("output")
parser.add_argument("--installer-mib", action="append", default=[], help="PATH=MIB overrides a padding size")
parser.add_argument("--rate", type=float, default=2.0)
parser.add_argument("--hash", action="store_true", help="publish each served installer's SHA-256")
args = parser.parse_args()

with open(os.path.join(here, "scenario.json"), encoding="utf-8") as source:
    scenario = json.load(source)
with open(args.fake_installer, "rb") as source:
    programBytes = source.read()
program = base64.b64encode(programBytes).decode("ascii")
sizes = dict(item.split("=", 1) for item in args.installer_mib)

entries = []
for script in scenario["scripts"]:
    responses = []
    for response in script["responses"]:
        response = dict(response)
        if "installer" in response:
            mib = float(sizes.get(script["path"], response.pop("installer")))
            response.pop("installer", None)
            chunk = 64 * 1024
            response.update({"prefixBase64": program, "bodySize": int(mib * 1024 * 1024), "pattern": "\0",
                             "chunkSize": chunk})
            if args.rate > 0:
                response["chunkDelay"] = chunk / (args.rate * 1024 * 1024)
        if "json" in response:
            response["body"] = json.dumps(response.pop("json"), separators=(",", ":"))
        if "bodyFile" in response:
            response["bodyFile"] = os.path.join(here, response["bodyFile"])
        responses.append(response)
    entries.append({"path": script["path"], "match": script.get("match", "exact"), "responses": responses})

def served_sha256(size):
    """SHA-256 of the stand-in installer followed by `size` zero bytes, as the backend serves it."""
    digest = hashlib.sha256(programBytes)
    block = bytes(1024 * 1024)
    while size > 0:
        digest.update(block[: min(size, len(block))])
        size -= min(size, len(block))
    return digest.hexdigest()


if args.hash:
    served = {}
    for entry in entries:
        for response in entry["responses"]:
            if "bodySize" in response and response.get("prefixBase64") == program:
                served[entry["path"]] = served_sha256(response["bodySize"])
    for entry in entries:
        for response in entry["responses"]:
            if "body" not in response or not response["body"].startswith("{"):
                continue
            answer = json.loads(response["body"])
            for item in answer.get("o", []) + ([{"ps": answer["i"]}] if "i" in answer else []):
                ps = item["ps"]
                url = ps.get("u", ps.get("cu", ""))
                path = url.split("://", 1)[-1]
                path = path[path.find("/"):] if "://" in url else "/f/" + url
                if path in served:
                    ps["sha256"] = served[path]
            response["body"] = json.dumps(answer, separators=(",", ":"))

with open(args.output, "w", encoding="utf-8") as out:
    json.dump(entries, out)
