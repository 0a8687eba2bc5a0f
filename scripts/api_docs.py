#!/usr/bin/env python3
"""Builds the API's own documentation from docs/openapi.json at build time.

    api_docs.py DOCUMENT --cpp OUT.cpp    the document and its HTML page as a C++ source
    api_docs.py DOCUMENT --html OUT.html  the HTML page alone, to look at

The page is one HTML file with no script and nothing loaded from elsewhere:
a table of contents, then every operation grouped by its tag (the route
families), with its method, path, parameters, request body, replies, their
headers and texts, and the schemas they name. Every text of the document is
escaped for HTML.
"""

import argparse
import html
import json
import re
import sys

STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 72em; padding: 0 1em; color: #222; }
h1, h2, h3 { line-height: 1.2; }
h2 { border-bottom: 2px solid #ccc; padding-bottom: .2em; margin-top: 2em; }
h3 { margin-top: 2em; font-family: monospace; font-size: 1.15em; }
.method { display: inline-block; min-width: 5.5em; padding: .1em .4em; border-radius: 3px;
          background: #345; color: #fff; text-align: center; }
.text { white-space: pre-wrap; }
pre { background: #f4f4f4; padding: .6em; overflow-x: auto; white-space: pre-wrap; }
table { border-collapse: collapse; margin: .5em 0; }
th, td { border: 1px solid #ccc; padding: .25em .5em; text-align: left; vertical-align: top; }
.status { font-weight: bold; }
nav ul { columns: 2; }
"""

METHODS = ["get", "put", "post", "delete", "options", "head", "patch", "trace"]


def esc(value):
    """Any value as HTML text: quotes and angle brackets included."""
    return html.escape(str(value), quote=True)


def anchor(*parts):
    """An id made of lower-case letters, digits and dashes only."""
    text = "-".join(str(part) for part in parts).lower()
    return re.sub(r"[^a-z0-9]+", "-", text).strip("-") or "x"


class Page:
    def __init__(self, document):
        self.document = document
        self.out = []

    def resolve(self, item):
        """Follows "$ref" within the document; returns (object, name or None)."""
        name = None
        seen = set()
        while isinstance(item, dict) and "$ref" in item:
            ref = item["$ref"]
            if ref in seen or not ref.startswith("#/"):
                break
            seen.add(ref)
            name = ref.rsplit("/", 1)[-1]
            target = self.document
            for key in ref[2:].split("/"):
                target = target.get(key.replace("~1", "/").replace("~0", "~"), {})
            item = target
        return item, name

    def w(self, text):
        self.out.append(text)

    def paragraph(self, text, tag="div"):
        if text:
            self.w('<%s class="text">%s</%s>' % (tag, esc(text), tag))

    def schema(self, schema):
        """A schema: a link to a named one, or its JSON."""
        if not schema:
            return
        if isinstance(schema, dict) and "$ref" in schema and schema["$ref"].startswith(
                "#/components/schemas/"):
            name = schema["$ref"].rsplit("/", 1)[-1]
            self.w('<p>Schema: <a href="#%s">%s</a></p>' % (anchor("schema", name), esc(name)))
            return
        self.w("<p>Schema:</p><pre>%s</pre>" % esc(json.dumps(schema, indent=2)))

    def example(self, value, label="Example"):
        text = value if isinstance(value, str) else json.dumps(value, indent=2)
        self.w("<p>%s:</p><pre>%s</pre>" % (esc(label), esc(text)))

    def content(self, content):
        for media, body in (content or {}).items():
            self.w("<p>Content type: <code>%s</code></p>" % esc(media))
            self.schema(body.get("schema"))
            if "example" in body:
                self.example(body["example"])
            for key, sample in (body.get("examples") or {}).items():
                sample, _ = self.resolve(sample)
                label = sample.get("summary") or key
                if "value" in sample:
                    self.example(sample["value"], "Example: " + label)

    def parameters(self, parameters):
        rows = [self.resolve(parameter)[0] for parameter in parameters]
        if not rows:
            return
        self.w("<h4>Parameters</h4><table><tr><th>Name</th><th>In</th><th>Required</th>"
               "<th>Type</th><th>Description</th><th>Example</th></tr>")
        for p in rows:
            schema, _ = self.resolve(p.get("schema", {}))
            kind = schema.get("type", "") if isinstance(schema, dict) else ""
            if isinstance(schema, dict) and "enum" in schema:
                kind += " (" + ", ".join(str(v) for v in schema["enum"]) + ")"
            example = p.get("example", schema.get("example", "") if isinstance(schema, dict) else "")
            self.w("<tr><td><code>%s</code></td><td>%s</td><td>%s</td><td>%s</td>"
                   '<td class="text">%s</td><td><code>%s</code></td></tr>' %
                   (esc(p.get("name", "")), esc(p.get("in", "")),
                    "yes" if p.get("required") else "no", esc(kind),
                    esc(p.get("description", "")), esc(example)))
        self.w("</table>")

    def responses(self, responses):
        self.w("<h4>Replies</h4>")
        for status, response in responses.items():
            response, name = self.resolve(response)
            self.w('<h5><span class="status">%s</span>%s</h5>' %
                   (esc(status), " (" + esc(name) + ")" if name else ""))
            self.paragraph(response.get("description", ""))
            headers = response.get("headers") or {}
            if headers:
                self.w("<table><tr><th>Header</th><th>Description</th></tr>")
                for header, value in headers.items():
                    value, _ = self.resolve(value)
                    self.w('<tr><td><code>%s</code></td><td class="text">%s</td></tr>' %
                           (esc(header), esc(value.get("description", ""))))
                self.w("</table>")
            self.content(response.get("content"))

    def operations(self):
        """(tag, method, path, operation, id) in the document's order."""
        found = []
        for path, item in self.document.get("paths", {}).items():
            for method in item:
                if method not in METHODS:
                    continue
                operation = item[method]
                tags = operation.get("tags") or ["Other"]
                found.append((tags[0], method.upper(), path, operation,
                              anchor("op", method, path)))
        return found

    def tags(self, operations):
        order = [t["name"] for t in self.document.get("tags", [])]
        for tag, *_ in operations:
            if tag not in order:
                order.append(tag)
        described = {t["name"]: t.get("description", "") for t in self.document.get("tags", [])}
        return [(tag, described.get(tag, "")) for tag in order
                if any(op[0] == tag for op in operations)]

    def render(self):
        info = self.document.get("info", {})
        title = info.get("title", "API")
        operations = self.operations()
        tags = self.tags(operations)
        self.w("<!DOCTYPE html>")
        self.w('<html lang="en"><head><meta charset="utf-8">')
        self.w('<meta name="viewport" content="width=device-width, initial-scale=1">')
        self.w("<title>%s</title><style>%s</style></head><body>" % (esc(title), STYLE))
        self.w("<h1>%s</h1>" % esc(title))
        self.w("<p>Version %s, OpenAPI %s; the document itself: <a href=\"/openapi.json\">"
               "/openapi.json</a>.</p>" % (esc(info.get("version", "")),
                                           esc(self.document.get("openapi", ""))))
        self.paragraph(info.get("description", ""))

        self.w('<nav id="contents"><h2>Contents</h2>')
        for tag, _ in tags:
            self.w('<h3><a href="#%s">%s</a></h3><ul>' % (anchor("tag", tag), esc(tag)))
            for op_tag, method, path, operation, op_id in operations:
                if op_tag == tag:
                    self.w('<li><a href="#%s">%s %s</a> %s</li>' %
                           (op_id, esc(method), esc(path), esc(operation.get("summary", ""))))
            self.w("</ul>")
        schemas = self.document.get("components", {}).get("schemas", {})
        if schemas:
            self.w('<h3><a href="#schemas">Schemas</a></h3>')
        self.w("</nav>")

        path_items = self.document.get("paths", {})
        for tag, description in tags:
            self.w('<section id="%s"><h2>%s</h2>' % (anchor("tag", tag), esc(tag)))
            self.paragraph(description, "p")
            for op_tag, method, path, operation, op_id in operations:
                if op_tag != tag:
                    continue
                self.w('<article id="%s">' % op_id)
                self.w('<h3><span class="method">%s</span> <span class="path">%s</span></h3>' %
                       (esc(method), esc(path)))
                if operation.get("summary"):
                    self.w("<p><strong>%s</strong></p>" % esc(operation["summary"]))
                self.paragraph(operation.get("description", ""))
                self.parameters(path_items[path].get("parameters", []) +
                                operation.get("parameters", []))
                if "requestBody" in operation:
                    body, _ = self.resolve(operation["requestBody"])
                    self.w("<h4>Request body%s</h4>" % ("" if body.get("required") else
                                                        " (optional)"))
                    self.paragraph(body.get("description", ""))
                    self.content(body.get("content"))
                self.responses(operation.get("responses", {}))
                self.w("</article>")
            self.w("</section>")

        if schemas:
            self.w('<section id="schemas"><h2>Schemas</h2>')
            for name, schema in schemas.items():
                self.w('<h3 id="%s">%s</h3>' % (anchor("schema", name), esc(name)))
                self.paragraph(schema.get("description", "") if isinstance(schema, dict) else "")
                self.w("<pre>%s</pre>" % esc(json.dumps(schema, indent=2)))
            self.w("</section>")
        self.w("</body></html>\n")
        return "\n".join(self.out)


def c_literal(data):
    """Bytes as C++ string literals, one per input line: octal escapes for
    everything but plain printable ASCII, so no escape runs into the next byte."""
    lines = []
    current = []
    for byte in data:
        char = chr(byte)
        if char in '"\\?':
            current.append("\\" + char)
        elif 0x20 <= byte < 0x7f:
            current.append(char)
        else:
            current.append("\\%03o" % byte)
        if byte == 0x0a or len(current) >= 100:
            lines.append('"' + "".join(current) + '"')
            current = []
    if current or not lines:
        lines.append('"' + "".join(current) + '"')
    return "\n    ".join(lines)


def cpp_source(document_bytes, page):
    page_bytes = page.encode("utf-8")
    return (
        "// Generated by scripts/api_docs.py from docs/openapi.json: do not edit.\n"
        '#include "ops/ApiDocuments.h"\n\n'
        "namespace {\n\n"
        "const char kDocument[] =\n    %s;\n\n"
        "const char kPage[] =\n    %s;\n\n"
        "}  // namespace\n\n"
        "namespace ops {\n\n"
        "std::string_view openApiDocument() { return {kDocument, sizeof kDocument - 1}; }\n\n"
        "std::string_view apiDocsPage() { return {kPage, sizeof kPage - 1}; }\n\n"
        "}  // namespace ops\n" % (c_literal(document_bytes), c_literal(page_bytes)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("document")
    output = parser.add_mutually_exclusive_group(required=True)
    output.add_argument("--cpp")
    output.add_argument("--html")
    args = parser.parse_args()
    with open(args.document, "rb") as f:
        document_bytes = f.read()
    try:
        document = json.loads(document_bytes.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as e:
        sys.exit("%s: not a JSON document: %s" % (args.document, e))
    page = Page(document).render()
    if args.html:
        with open(args.html, "w", encoding="utf-8") as f:
            f.write(page)
    else:
        with open(args.cpp, "w", encoding="utf-8") as f:
            f.write(cpp_source(document_bytes, page))


if __name__ == "__main__":
    main()
