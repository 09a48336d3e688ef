// A block stream arriving into a temporary file, the same way at either end:
// parts are checked and restored, blocks written as they complete, and the
// temporary file goes away unless its owner takes it to put in place.
#pragma once

#include "BlockAssembler.h"
#include "Message.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexo::link
{

class IncomingFile
{
public:
    enum class Fault { None, Check, Io };

    // size: what the sender declared; fileContext as agreed in the session.
    IncomingFile(uint64_t size, bool fileContext);
    ~IncomingFile();
    IncomingFile(IncomingFile &&other) noexcept;
    IncomingFile &operator=(IncomingFile &&other) noexcept;

    // Takes over an open, empty temporary file.
    void attach(int fd, std::string path);
    bool hasFile() const { return m_fd >= 0; }

    // Feeds the next part. Check: a malformed stream, more bytes than
    // declared, or a complete stream of another size; Io: a write failed.
    Fault add(const DataPart &part);
    bool finished() const { return m_assembler.finished(); }
    uint64_t size() const { return m_size; }
    uint64_t received() const { return m_assembler.total(); }

    // Once finished: gives the file the time (when keepTime) and the mode
    // (when not negative), closes it and hands over the temporary path, which
    // the caller then renames into place or removes. Empty when closing failed
    // (the file is removed).
    std::string release(bool keepTime, int64_t mtimeMs, int mode);
    // Drops the temporary file.
    void discard();

private:
    uint64_t m_size;
    BlockAssembler m_assembler;
    std::vector<uint8_t> m_block;
    int m_fd = -1;
    std::string m_path;
};

} // namespace vexo::link
