// vexo-deviced: the palmtop side of the file service, serving one flat folder.
#include "DeviceFolder.h"
#include "DevicePartials.h"
#include "DeviceServer.h"
#include "FdStream.h"
#include "vexo/sys/PlaceFile.h"
#include "vexo/sys/PtyPair.h"
#include "vexo/sys/Tty.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vexo;

namespace
{
std::atomic<bool> g_quit{false};

void onSignal(int)
{
    g_quit.store(true);
}

int usage(std::FILE *output = stderr)
{
    std::fprintf(output, "usage: vexo-deviced --root DIR (--device PATH [--baud N] | --pty LINK | --stdio)\n"
                         "                    [--timeout MS] [--capacity BYTES] [--caps MASK]\n"
                         "                    [--identity HEX] [--verbose]\n"
                         "Serves the files of DIR as a palmtop does, until SIGINT or SIGTERM.\n"
                         "--caps offers only the capabilities whose bits are set in MASK: bits 0-7 are\n"
                         "byte 1 of the hello record, bits 8-15 byte 10 (default 0xFFFF, all).\n"
                         "--identity sets the palmtop's identity (32 hex digits), kept with DIR;\n"
                         "without it DIR keeps one made at random when first served.\n"
                         "Exit status: 0 stopped, 1 could not serve, 2 bad command line.\n");
    return output == stderr ? 2 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string root, device, ptyLink;
    bool stdio = false;
    int baud = 115200;
    deviced::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h")
            return usage(stdout);
        else if (arg == "--root" && hasValue)
            root = argv[++i];
        else if (arg == "--device" && hasValue)
            device = argv[++i];
        else if (arg == "--baud" && hasValue)
            baud = std::atoi(argv[++i]);
        else if (arg == "--pty" && hasValue)
            ptyLink = argv[++i];
        else if (arg == "--timeout" && hasValue)
            options.timeoutMs = std::max(100, std::atoi(argv[++i]));
        else if (arg == "--capacity" && hasValue) {
            char *end = nullptr;
            options.capacity = std::strtoull(argv[++i], &end, 10);
            if (options.capacity == 0 || *end != '\0')
                return usage();
        } else if (arg == "--identity" && hasValue) {
            // 32 hex digits, kept in the folder from now on.
            const std::string hex = argv[++i];
            std::array<uint8_t, link::kIdentitySize> id{};
            if (hex.size() != 2 * id.size() ||
                hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return usage();
            for (size_t k = 0; k < id.size(); ++k)
                id[k] = static_cast<uint8_t>(std::stoul(hex.substr(2 * k, 2), nullptr, 16));
            options.identity = id;
        } else if (arg == "--caps" && hasValue) {
            char *end = nullptr;
            const unsigned long mask = std::strtoul(argv[++i], &end, 0);
            if (end == argv[i] || *end != '\0' || mask > 0xFFFF)
                return usage();
            options.caps = static_cast<uint16_t>(mask);
        } else if (arg == "--stdio")
            stdio = true;
        else if (arg == "--verbose")
            options.verbose = true;
        else
            return usage();
    }
    if (root.empty() || (!device.empty()) + (!ptyLink.empty()) + stdio != 1 || baud <= 0)
        return usage();

    deviced::DeviceFolder folder(root);
    std::string error;
    if (!folder.check(&error)) {
        std::fprintf(stderr, "vexo-deviced: %s\n", error.c_str());
        return 1;
    }
    // The identity tells a client which palmtop answers after a reconnect.
    std::array<uint8_t, link::kIdentitySize> identity{};
    if (options.identity ? !folder.setIdentity(*options.identity) : !folder.identity(identity)) {
        std::fprintf(stderr, "vexo-deviced: %s: cannot keep the palmtop's identity\n", root.c_str());
        return 1;
    }
    if (!options.identity)
        options.identity = identity;
    folder.removeStaleTemporaries();
    // Partials of interrupted transfers stay for the client's next attempt, a day at most.
    deviced::DevicePartials(root).removeStale();

    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (stdio) {
        link::FdStream stream(STDIN_FILENO, STDOUT_FILENO, false);
        deviced::DeviceServer server(folder, stream, options);
        server.serve(g_quit);
        return 0;
    }

    if (!ptyLink.empty()) {
        sys::PtyPair pty;
        if (!pty.open(&error) || !sys::placeSymlink(ptyLink, pty.slavePath(), &error)) {
            std::fprintf(stderr, "vexo-deviced: %s\n", error.c_str());
            return 1;
        }
        if (options.verbose)
            std::fprintf(stderr, "vexo-deviced: serving %s on %s (%s)\n", root.c_str(), ptyLink.c_str(),
                         pty.slavePath().c_str());
        link::FdStream stream(pty.master(), pty.master(), false);
        deviced::DeviceServer server(folder, stream, options);
        const bool ok = server.serve(g_quit);
        unlink(ptyLink.c_str());
        return ok ? 0 : 1;
    }

    // A serial device may go away (unplugged, simulator restarted): keep trying.
    bool reported = false;
    while (!g_quit.load()) {
        const int fd = sys::openSerialDevice(device, baud, &error);
        if (fd < 0) {
            if (!reported)
                std::fprintf(stderr, "vexo-deviced: %s (retrying)\n", error.c_str());
            reported = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            continue;
        }
        reported = false;
        if (options.verbose)
            std::fprintf(stderr, "vexo-deviced: serving %s on %s\n", root.c_str(), device.c_str());
        link::FdStream stream(fd, fd, true);
        deviced::DeviceServer server(folder, stream, options);
        if (server.serve(g_quit))
            break;
        std::fprintf(stderr, "vexo-deviced: %s hung up; reopening\n", device.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return 0;
}
