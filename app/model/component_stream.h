#pragma once
// The configuration as a component stream: the signature "TPF0" and one
// record for the manager with the records of its tags nested inside.
// Short texts (class, component and property names) and the text kinds 0x06
// and 0x0C hold bytes of the ANSI code page, converted through CodePage.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ansi_codepage.h"

namespace opclumbra {

class TTagManager;

// Records nest at most this deep, the manager's counting as the first: the
// reader refuses deeper streams and the writer deeper trees, so that what is
// written can always be read back.
inline constexpr std::size_t MaxComponentDepth = 64;

// Throws EComponentStreamError when a name is empty or cannot be represented
// in the code page, a text is not valid UTF-16, or the tree is nested too deep.
std::vector<std::uint8_t> WriteComponentStream(const TTagManager& manager, const AnsiCodePage& codePage);

// Replaces Manager's name, properties and tags with those of Stream; a
// property absent from Stream takes its value at creation. All or nothing:
// on any fault it throws EComponentStreamError and Manager is left as it was.
void ReadComponentStream(std::span<const std::uint8_t> stream, TTagManager& manager, const AnsiCodePage& codePage);

}  // namespace opclumbra
