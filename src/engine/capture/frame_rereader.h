#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "capture_file_reader.h"
#include "frame_info.h"
#include "packet_record.h"

namespace varlowe {

// Reads single frames of a capture again where the pass met them, through one reader that
// stays open: a capture deleted or replaced by name meanwhile reads as it was when opened.
// Safe to call from several threads.
class FrameRereader {
  public:
    // Opens the capture to decode it as the pass does; false when it cannot be opened.
    bool open(const std::string& path, bool includeUdp, bool includeTcp, bool decodeHep);
    // Takes over what the pass learnt of the file, before the first read.
    void useLayout(const CaptureLayout& layout);
    // The frame of that packet: the one whose record (its first fragment's, for a datagram
    // in fragments) lies at its file offset, with its time and payload length. False when
    // the capture no longer holds such a frame there.
    bool read(const PacketNumbers& packet, FrameInfo& frame);
    // A reader of its own on the same capture, for a long walk or another thread: readers
    // that share one file position would fetch its buffer afresh at every turn. None when the
    // capture cannot be opened again.
    std::unique_ptr<FrameRereader> another() const;

  private:
    mutable std::mutex mutex_;
    CaptureFileReader reader_;
    std::string path_;
    bool includeUdp_ = true, includeTcp_ = true, decodeHep_ = false;
    CaptureLayout layout_;
};

}  // namespace varlowe
