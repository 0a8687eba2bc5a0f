// The API's description as built into the binary: docs/openapi.json, and the
// HTML page that scripts/api_docs.py makes from it at build time. Both match
// the route table the build was tested against.
#ifndef OPS_APIDOCUMENTS_H_
#define OPS_APIDOCUMENTS_H_

#include <string_view>

namespace ops {

// docs/openapi.json byte for byte. Never fails.
std::string_view openApiDocument();

// The documentation page (UTF-8 HTML): every operation of the document by
// route family, with a table of contents; no script. Never fails.
std::string_view apiDocsPage();

}  // namespace ops

#endif  // OPS_APIDOCUMENTS_H_
