#!/usr/bin/env python3
"""Writes the backend's scenario file for the demo and the benchmark from tools/demo/scenario.json.

Usage: make-scenario.py FAKE_INSTALLER OUTPUT [--installer-mib PATH=MIB ...] [--rate MIB_PER_S]

Each response with "installer": N becomes the stand-in installer followed by N MiB of padding (a program with
trailing data runs as before), streamed at about --rate MiB/s (unlimited with 0) so the progress bar is seen
moving; "json" becomes the body; "bodyFile" names a file beside scenario.json.
"""
import argparse
import base64
import json
import os

here = os.path.dirname(os.path.abspath(__file__))
parser = argparse.ArgumentParser()
parser.add_argument("fake_installer")
parser.add_argument("output")
parser.add_argument("--installer-mib", action="append", default=[], help="PATH=MIB overrides a padding size")
parser.add_argument("--rate", type=float, default=2.0)
args = parser.parse_args()

with open(os.path.join(here, "scenario.json"), encoding="utf-8") as source:
    scenario = json.load(source)
with open(args.fake_installer, "rb") as source:
    program = base64.b64encode(source.read()).decode("ascii")
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

with open(args.output, "w", encoding="utf-8") as out:
    json.dump(entries, out)
