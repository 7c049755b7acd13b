// Every limit of the engine, named once.
#pragma once

#include <cstddef>

namespace quill::limits {

// Longest keyword, parameter text or reply line, in bytes.
inline constexpr std::size_t FtpStringMax = 255;

// Size of a control connection's receive buffer; a line must fit in it with
// its line end and one spare byte, so the longest line is 2045 bytes + CR LF.
inline constexpr int DefaultRcvSize = 2048;

// Size of the most commands a server can hold in its command table.
inline constexpr int CommandTableSize = 32;

// Bytes read and thrown away per read while draining an overlong line.
inline constexpr std::size_t OverDrainBlock = 1024;
// Bound on those reads, so a peer that keeps sending cannot hold the loop.
inline constexpr int OverDrainMaxBlocks = 256;

// Bytes a socket with no data-available handler reads and discards per readiness.
inline constexpr std::size_t DiscardBlock = 4096;

// Bytes a socket hands to the system within one write readiness: while the
// system takes each block whole, the next one is asked for at once instead of
// after another turn of the event loop; past this many bytes the socket waits
// for its next turn so that other connections are served in between. A
// mebibyte goes in well under a millisecond here, so twenty busy transfers
// hold back a visitor's command by a few milliseconds at most.
inline constexpr std::size_t WriteBurstBytes = 1024 * 1024;
// The same bound for a transfer that reads within one read readiness.
inline constexpr std::size_t ReadBurstBytes = 1024 * 1024;

// Replies a control connection may hold for a visitor who does not read
// them; past this, its commands are not read until the replies have left.
inline constexpr std::size_t ReplyBacklogBytes = 64 * 1024;

// Backlog of listening sockets.
inline constexpr int ListenBacklog = 128;

} // namespace quill::limits
