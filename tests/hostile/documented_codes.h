#pragma once
// The answers each method may give: the codes its OPC or COM contract
// documents, plus the ones any COM method may give.
#include <windows.h>

#include <string_view>

namespace hostile {

// True when Hr is a documented answer of Method ("Interface::Method").
// MarshallerRefuses: the call carried an argument the proxy rejects (a NULL
// reference pointer, an enum beyond 16 bits), so the RPC codes for that are
// expected. Disconnected: the object was cut off by the server (a group
// removed with force), so the codes of a disconnected proxy are too.
bool Documented(std::string_view method, HRESULT hr, bool marshallerRefuses, bool disconnected);

// True when Hr is not documented for Method but is what the toolkit answers
// there on purpose.
bool ByDesign(std::string_view method, HRESULT hr);

// True for every method the tables know; a call table naming another is a
// mistake in the tables.
bool Known(std::string_view method);

}  // namespace hostile
