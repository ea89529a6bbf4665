#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace varlowe {

// Finds a SIP start line inside bytes that begin with something else (a SIP message carried
// inside another protocol). Status lines are preferred over request lines. Runs in linear
// time; zero bytes inside the data are passed over.
std::optional<size_t> findSipStart(const uint8_t* data, size_t length);

// Where a complete SIP message lies in a TCP byte run. When the message is not complete,
// `start` still tells where an encapsulated start line was found.
struct MessageExtent {
    bool complete = false;
    size_t start = 0;        // where the start line begins
    size_t end = 0;          // one past the message (headers, empty line, Content-Length body)
    bool endsAtEnd = false;  // no bytes follow the message
    // When only body bytes are missing: how many bytes from the start of the data the
    // message needs; 0 otherwise.
    uint64_t neededLength = 0;
    // The Content-Length value was not a non-negative decimal number and was taken as 0; its
    // text (at most 64 characters) for the diagnostic.
    bool invalidLength = false;
    std::string lengthText;
};

// A message is complete when the run starts with a start line (or, with `encapsulated`, one
// is found inside it), it has a Content-Length header and the empty line, and all body bytes
// are present. A Content-Length that is no number (negative, empty, letters) counts as 0, so
// that one bad header cannot hold back every later message of the connection. Writes
// nothing: the assembler reports a waiting message and a bad length once each.
MessageExtent messageExtent(const uint8_t* data, size_t length, bool encapsulated);

}  // namespace varlowe
