// vexo-linksim: a simulated serial cable between two pseudo-terminals, for
// scripts and benchmarks. See usage() for the command line.
#include "LinkSimulator.h"
#include "vexo/sys/PlaceFile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using vexo::test::CablePull;
using vexo::test::LinkSimCounters;
using vexo::test::LinkSimOptions;
using vexo::test::LinkSimulator;

namespace
{

void usage()
{
    std::fprintf(stderr, "usage: vexo-linksim --a LINK_A --b LINK_B [--rate BYTES_PER_S] [--latency-ms N]\n"
                         "                    [--flip P] [--drop P] [--seed N] [--pull BYTES:SECONDS]...\n"
                         "                    [--drop-frame N] [--damage-frame N]\n"
                         "Joins two pseudo-terminals, reachable through the symbolic links LINK_A and\n"
                         "LINK_B, by a simulated serial line (default 11520 B/s each way, i.e. 115,200\n"
                         "baud 8N1; 0 = unthrottled). --flip and --drop are probabilities per byte.\n"
                         "Prints 'ready' once relaying; runs until SIGTERM or SIGINT. SIGUSR1 cuts the\n"
                         "cable, SIGUSR2 mends it. --pull cuts it once BYTES have entered the line (both\n"
                         "ways together) and mends it SECONDS later; repeat it for more pulls, in order.\n"
                         "--drop-frame N loses every N-th frame of the device link whole, --damage-frame N\n"
                         "damages its check (each direction counts its own frames).\n"
                         "On exit prints the counters and the pulls that happened on stderr.\n");
}

bool parseDouble(const char *text, double low, double high, double *out)
{
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value >= low && value <= high)) {
        return false;
    }
    *out = value;
    return true;
}

bool parseLong(const char *text, long low, long high, long *out)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return false;
    }
    *out = value;
    return true;
}

// Removes `link` only if it still points at our end.
void removeLink(const std::string &link, const std::string &target)
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (length > 0 && std::string(buffer, static_cast<size_t>(length)) == target) {
        unlink(link.c_str());
    }
}

void printCounters(const char *name, const LinkSimCounters &c)
{
    std::fprintf(stderr, "vexo-linksim: %s received %llu delivered %llu flipped %llu dropped %llu cut %llu\n",
                 name, static_cast<unsigned long long>(c.received),
                 static_cast<unsigned long long>(c.delivered), static_cast<unsigned long long>(c.flipped),
                 static_cast<unsigned long long>(c.dropped), static_cast<unsigned long long>(c.cut));
}

} // namespace

int main(int argc, char **argv)
{
    LinkSimOptions options;
    std::string linkA;
    std::string linkB;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        }
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        const char *value = argv[++i];
        bool ok = true;
        long number = 0;
        if (arg == "--a") {
            linkA = value;
        } else if (arg == "--b") {
            linkB = value;
        } else if (arg == "--rate") {
            ok = parseDouble(value, 0, 1e9, &options.bytesPerSecond);
        } else if (arg == "--latency-ms") {
            ok = parseLong(value, 0, 60000, &number);
            options.latencyMs = static_cast<int>(number);
        } else if (arg == "--flip") {
            ok = parseDouble(value, 0, 1, &options.bitFlipPerByte);
        } else if (arg == "--drop") {
            ok = parseDouble(value, 0, 1, &options.dropPerByte);
        } else if (arg == "--drop-frame" || arg == "--damage-frame") {
            ok = parseLong(value, 0, 1000000, &number);
            (arg == "--drop-frame" ? options.frameDropEvery : options.frameDamageEvery) =
                static_cast<unsigned>(number);
        } else if (arg == "--pull") {
            const std::string text = value;
            const auto colon = text.find(':');
            double bytes = 0;
            CablePull pull;
            ok = colon != std::string::npos && parseDouble(text.substr(0, colon).c_str(), 0, 1e15, &bytes) &&
                 parseDouble(text.substr(colon + 1).c_str(), 0, 3600, &pull.seconds) &&
                 (options.pulls.empty() || bytes >= static_cast<double>(options.pulls.back().atByte));
            pull.atByte = static_cast<uint64_t>(bytes);
            options.pulls.push_back(pull);
        } else if (arg == "--seed") {
            ok = parseLong(value, 0, 0xffffffffL, &number);
            options.seed = static_cast<uint32_t>(number);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "vexo-linksim: bad option %s %s\n", arg.c_str(), value);
            usage();
            return 2;
        }
    }
    if (linkA.empty() || linkB.empty()) {
        usage();
        return 2;
    }

    // Signals are taken by sigwait below; the relay thread inherits the mask
    // and never sees them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) {
        sigaddset(&signals, sig);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    LinkSimulator link(options);
    std::string error;
    if (!link.start(&error)) {
        std::fprintf(stderr, "vexo-linksim: %s\n", error.c_str());
        return 1;
    }
    const std::string endA = link.endA();
    const std::string endB = link.endB();
    if (!vexo::sys::placeSymlink(linkA, endA, &error) || !vexo::sys::placeSymlink(linkB, endB, &error)) {
        std::fprintf(stderr, "vexo-linksim: %s\n", error.c_str());
        removeLink(linkA, endA);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0) {
            continue;
        }
        if (sig == SIGUSR1 || sig == SIGUSR2) {
            link.setCut(sig == SIGUSR1);
            continue;
        }
        break;
    }
    removeLink(linkA, endA);
    removeLink(linkB, endB);
    const LinkSimCounters aToB = link.counters(LinkSimulator::Direction::AToB);
    const LinkSimCounters bToA = link.counters(LinkSimulator::Direction::BToA);
    link.stop();
    printCounters("a->b", aToB);
    printCounters("b->a", bToA);
    std::fprintf(stderr, "vexo-linksim: pulls %d\n", link.pullsBegun());
    return 0;
}
