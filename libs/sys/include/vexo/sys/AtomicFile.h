#pragma once

#include "vexo/sys/PlaceFile.h"
#include "vexo/sys/UniqueFd.h"

#include <string>
#include <utility>

namespace vexo::sys
{

// Writes a file under a temporary name beside its target and moves it into
// place only when complete, so the target is never seen half written and a
// failure leaves an existing file untouched. Discarded unless committed.
class AtomicFile
{
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(AtomicFile &&other) noexcept { *this = std::move(other); }
    AtomicFile &operator=(AtomicFile &&other) noexcept;
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the hidden temporary file ".NAME" + tag + random letters beside
    // `target`, with mode 0666 less the umask. 0 or an errno value.
    int open(const std::string &target, const char *tag = ".vexo-");
    int fd() const { return m_fd.get(); }
    bool isOpen() const { return m_fd.valid(); }
    const std::string &target() const { return m_target; }

    // Closes the file and moves it into place. 0, or an errno value (EEXIST:
    // NeverReplace found a file); on failure the temporary file is gone.
    int commit(Placement how);
    // Closes and removes the temporary file; the target is untouched.
    void discard();

private:
    UniqueFd m_fd;
    std::string m_target;
    std::string m_temporary;
};

} // namespace vexo::sys
