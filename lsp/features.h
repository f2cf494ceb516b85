// The requests on a document's text: its outline, where a name is
// declared, what a name or literal stands for, and what may be written at
// a place. Each takes the request's params and gives its result as the
// protocol has it (null where there is nothing).
#pragma once

#include "lsp/json_rpc.h"
#include "lsp/workspace.h"

namespace marlo::lsp {

Json DocumentSymbols(Workspace& workspace, const Document& document, Encoding encoding);
Json Definition(Workspace& workspace, const Document& document, Position position, Encoding encoding);
Json Hover(Workspace& workspace, const Document& document, Position position, Encoding encoding);
Json Completion(Workspace& workspace, const Document& document, Position position, Encoding encoding);

Json RangeJson(const TextDocument& text, std::size_t begin, std::size_t end, Encoding encoding);

}  // namespace marlo::lsp
