#!/usr/bin/env python3
"""The documentation page generator (scripts/api_docs.py) against small
documents: hostile texts stay text, references resolve, every operation gets
its heading in its family, and the embedded bytes are the document's."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import api_docs  # noqa: E402

HOSTILE = '</h3><script src="//evil.example/x.js"></script><img onerror=alert(1)> & "q" \'s\''


def page_of(document):
    return api_docs.Page(document).render()


class ApiDocsPageTest(unittest.TestCase):
    def test_hostile_texts_are_escaped_wherever_they_stand(self):
        document = {
            "openapi": "3.0.3",
            "info": {"title": HOSTILE, "version": HOSTILE, "description": HOSTILE},
            "tags": [{"name": HOSTILE, "description": HOSTILE}],
            "paths": {"/a/{x}": {"get": {
                "tags": [HOSTILE], "summary": HOSTILE, "description": HOSTILE,
                "parameters": [{"name": HOSTILE, "in": "path", "description": HOSTILE,
                                "schema": {"type": "string", "enum": [HOSTILE]},
                                "example": HOSTILE}],
                "requestBody": {"description": HOSTILE,
                                "content": {HOSTILE: {"example": {HOSTILE: HOSTILE}}}},
                "responses": {"500": {"description": HOSTILE,
                                      "headers": {HOSTILE: {"description": HOSTILE}},
                                      "content": {"text/plain": {"examples": {
                                          HOSTILE: {"summary": HOSTILE, "value": HOSTILE}}}}}},
            }}},
            "components": {"schemas": {HOSTILE: {"description": HOSTILE}}},
        }
        page = page_of(document)
        self.assertNotIn("<script", page)
        self.assertNotIn("<img", page)
        self.assertNotIn(' src="', page)
        self.assertIn("&lt;/h3&gt;&lt;script src=&quot;//evil.example/x.js&quot;&gt;", page)
        # Ids and links use letters, digits and dashes only.
        for value in re.findall(r'(?:id|href)="([^"]*)"', page):
            self.assertRegex(value, r"^(#?[a-z0-9-]+|/openapi\.json)$")

    def test_every_operation_has_its_heading_under_its_tag_in_order(self):
        document = {
            "info": {"title": "T"},
            "tags": [{"name": "Rules"}, {"name": "Events"}],
            "paths": {
                "/events/{event_type}": {"get": {"tags": ["Events"]},
                                         "delete": {"tags": ["Events"]}},
                "/rules": {"get": {"tags": ["Rules"]}, "summary": "not an operation"},
                "/health": {"get": {}},
            },
        }
        page = page_of(document)
        headings = re.findall(
            r'<h2>([^<]*)</h2>|<span class="method">([A-Z]+)</span> <span class="path">([^<]*)<',
            page[page.index("</nav>"):])
        self.assertEqual(headings, [
            ("Rules", "", ""), ("", "GET", "/rules"),
            ("Events", "", ""), ("", "GET", "/events/{event_type}"),
            ("", "DELETE", "/events/{event_type}"),
            ("Other", "", ""), ("", "GET", "/health"),
        ])
        contents = page[page.index('<nav id="contents">'):page.index("</nav>")]
        for link in ("GET /rules", "GET /events/{event_type}", "DELETE /events/{event_type}",
                     "GET /health"):
            self.assertIn(link, contents)

    def test_references_resolve_to_their_parameters_replies_and_headers(self):
        document = {
            "info": {"title": "T"},
            "paths": {"/e/{t}": {"get": {
                "parameters": [{"$ref": "#/components/parameters/T"}],
                "responses": {
                    "200": {"description": "ok", "headers": {
                        "X-Total-Count": {"$ref": "#/components/headers/Total"}},
                        "content": {"application/json": {
                            "schema": {"$ref": "#/components/schemas/List"}}}},
                    "401": {"$ref": "#/components/responses/Unauthorized"},
                    "418": {"$ref": "#/components/responses/Loop"},
                },
            }}},
            "components": {
                "parameters": {"T": {"name": "event_type", "in": "path", "required": True,
                                     "description": "type of the list"}},
                "headers": {"Total": {"description": "items before paging"}},
                "responses": {"Unauthorized": {"description": "token missing or wrong"},
                              "Loop": {"$ref": "#/components/responses/Loop"}},
                "schemas": {"List": {"type": "array"}},
            },
        }
        page = page_of(document)
        self.assertIn("<td><code>event_type</code></td><td>path</td><td>yes</td>", page)
        self.assertIn("type of the list", page)
        self.assertIn("items before paging", page)
        self.assertIn('<span class="status">401</span> (Unauthorized)', page)
        self.assertIn("token missing or wrong", page)
        self.assertIn('<a href="#schema-list">List</a>', page)
        self.assertIn('<h3 id="schema-list">List</h3>', page)

    def test_embedded_document_is_byte_for_byte_the_file(self):
        raw = '{"info": {"title": "\\u00e9 \\" \\\\ ??= \\n"}, "paths": {}, "x": "é€"}\n'.encode()
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "doc.json")
            with open(source, "wb") as f:
                f.write(raw)
            out = os.path.join(folder, "doc.cpp")
            subprocess.run([sys.executable, api_docs.__file__, source, "--cpp", out], check=True)
            with open(out, encoding="utf-8") as f:
                cpp = f.read()
        literal = cpp[cpp.index("kDocument[] =") + len("kDocument[] ="):cpp.index(";\n\nconst char kPage")]
        decoded = b"".join(
            re.sub(rb"\\([0-7]{3})", lambda m: bytes([int(m.group(1), 8)]),
                   re.sub(rb'\\(["\\?])', rb"\1", part))
            for part in re.findall(rb'"((?:[^"\\]|\\.)*)"', literal.encode()))
        self.assertEqual(decoded, raw)

    def test_a_file_that_is_no_json_fails_the_build(self):
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "doc.json")
            with open(source, "w") as f:
                f.write("{ not json")
            result = subprocess.run(
                [sys.executable, api_docs.__file__, source, "--html", os.path.join(folder, "o")],
                capture_output=True, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("not a JSON document", result.stderr)


if __name__ == "__main__":
    unittest.main()
