// vexo: command-line client of the palmtop's file service.
#include "DeviceCheck.h"
#include "FileClient.h"
#include "JsonListing.h"
#include "NameCodec.h"
#include "Sync.h"
#include "TransferRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vexo;
using link::LinkError;

namespace
{

int usage(std::FILE *output = stderr)
{
    std::fprintf(output,
                 "usage: vexo [--port PATH] [--baud N] [--timeout MS] [--no-clobber] [--no-resume]\n"
                 "            [--retry-seconds N] [--stats] COMMAND\n"
                 "  ls [--json] [--refresh-after CMD]\n"
                 "                          list the device's files (--json: a JSON array); with\n"
                 "                          CMD: list, run CMD, list again in the same session and\n"
                 "                          print that listing and the time it took\n"
                 "  get NAME [DEST]         copy a device file here (DEST: file or folder)\n"
                 "  get NAME... DIR         copy several device files into a folder\n"
                 "  put FILE... [--as NAME] copy local files to the device under their own names,\n"
                 "                          or one file under NAME\n"
                 "  rm NAME...              delete device files (many names go several to a request)\n"
                 "  mv OLD NEW              rename a device file\n"
                 "  df                      the device's free and total bytes\n"
                 "  check-device [--quick]  try every request on whatever answers on the port and\n"
                 "                          print a table of what passed; for makers of palmtops\n"
                 "  sync DIR [--to-device|--to-pc|--both] [--dry-run] [--delete] [--prefer pc|device|newer]\n"
                 "                          make a folder and the device agree (default both ways;\n"
                 "                          changes since the last sync win, else the newer file);\n"
                 "                          prints the plan first; deletes only with --delete\n"
                 "Without --baud the port is used as a USB (CDC-ACM) device; default port /dev/ttyACM0.\n"
                 "put and get continue a file an earlier attempt left half done (--no-resume: start\n"
                 "over) and, when the link is lost, reconnect for up to N s (default 30; 0: never).\n"
                 "Exit status: 0 done, 1 failed, 2 bad command line.\n");
    return output == stderr ? 2 : 0;
}

bool isDir(const std::string &path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string baseName(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool toDevice(const std::string &utf8, std::string &wire)
{
    if (!link::utf8ToCp936(utf8, wire)) {
        std::fprintf(stderr, "vexo: %s: name cannot be written in code page 936\n", utf8.c_str());
        return false;
    }
    return true;
}

int report(const std::string &what, LinkError e)
{
    if (e == LinkError::Ok)
        return 0;
    std::fprintf(stderr, "vexo: %s: %s\n", what.c_str(), link::describe(e));
    return 1;
}

struct ListOptions {
    bool json = false;
    std::string refreshAfter; // shell command run between two listings
};

bool parseListOptions(const std::vector<std::string> &args, ListOptions &options)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json")
            options.json = true;
        else if (args[i] == "--refresh-after" && i + 1 < args.size())
            options.refreshAfter = args[++i];
        else
            return false;
    }
    return true;
}

// Writes all of `text` to standard output. Another process on the same
// terminal may have made it non-blocking (the flag belongs to the open file
// they share): a full terminal then means waiting, never losing the rest.
bool writeOut(const std::string &text)
{
    if (std::fflush(stdout) != 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{STDOUT_FILENO, POLLOUT, 0};
            ::poll(&p, 1, -1);
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

bool printListing(const std::vector<link::DeviceEntry> &entries, bool json)
{
    if (json) {
        cli::JsonListing listing;
        for (const auto &e : entries)
            listing.add(e.name, e.size, e.mtimeMs / 1000);
        return writeOut(listing.finish());
    }
    // Names in quotes with escapes: whatever the device sends, it cannot
    // forge a line or reach the terminal's control sequences.
    std::string text;
    for (const auto &e : entries) {
        const std::time_t t = static_cast<std::time_t>(e.mtimeMs / 1000);
        std::tm tm{};
        gmtime_r(&t, &tm);
        char line[64];
        const size_t n = std::strftime(line, sizeof line, "%Y-%m-%d %H:%M", &tm);
        char size[32];
        std::snprintf(size, sizeof size, "%10llu  ", static_cast<unsigned long long>(e.size));
        text.append(size).append(line, n).append("  ").append(link::quotedName(e.name)).append("\n");
    }
    return writeOut(text);
}

// With a command to run in between, the listing printed is a refresh in the
// same session, the way the file manager refreshes an open folder: what it
// costs is what --refresh-after measures.
int listCommand(link::FileClient &client, const ListOptions &options)
{
    std::vector<link::DeviceEntry> entries;
    size_t refused = 0;
    if (!options.refreshAfter.empty()) {
        if (const int rc = report("ls", client.list("*", entries, &refused)); rc != 0)
            return rc;
        if (const int status = std::system(options.refreshAfter.c_str()); status != 0) {
            std::fprintf(stderr, "vexo: ls: the command to run between the listings failed\n");
            return 1;
        }
    }
    const auto started = std::chrono::steady_clock::now();
    const auto bytesBefore = client.stats().bytesRead;
    if (const int rc = report("ls", client.list("*", entries, &refused)); rc != 0)
        return rc;
    if (!options.refreshAfter.empty())
        std::fprintf(stderr, "vexo: ls: listed again in %.3f s, %llu bytes received\n",
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                     static_cast<unsigned long long>(client.stats().bytesRead - bytesBefore));
    if (!printListing(entries, options.json)) {
        std::fprintf(stderr, "vexo: ls: cannot write the listing: %s\n", std::strerror(errno));
        return 1;
    }
    if (refused > 0 && !options.json) {
        std::fprintf(stderr, "vexo: ls: %zu name(s) the device may not use were left out\n", refused);
        return 1;
    }
    return 0;
}

int spaceCommand(link::FileClient &client)
{
    uint64_t freeBytes = 0, totalBytes = 0;
    if (const int rc = report("df", client.freeSpace(freeBytes, totalBytes)); rc != 0)
        return rc;
    const uint64_t used = totalBytes - freeBytes;
    std::printf(
        "%14s %14s %14s %5s\n%14llu %14llu %14llu %4llu%%\n", "total", "used", "free", "use",
        static_cast<unsigned long long>(totalBytes), static_cast<unsigned long long>(used),
        static_cast<unsigned long long>(freeBytes),
        static_cast<unsigned long long>(totalBytes == 0 ? 0 : (used * 100 + totalBytes - 1) / totalBytes));
    return 0;
}

int run(int argc, char **argv)
{
    std::string port = "/dev/ttyACM0";
    int baud = 0;
    int timeoutMs = 3000;
    bool overwrite = true;
    bool stats = false;
    bool resume = true;
    int retrySeconds = 30;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string opt = argv[i];
        if (opt == "--port" && i + 1 < argc)
            port = argv[++i];
        else if (opt == "--baud" && i + 1 < argc)
            baud = std::atoi(argv[++i]);
        else if (opt == "--timeout" && i + 1 < argc)
            timeoutMs = std::atoi(argv[++i]);
        else if (opt == "--no-clobber" || opt == "-n")
            overwrite = false;
        else if (opt == "--no-resume")
            resume = false;
        else if (opt == "--retry-seconds" && i + 1 < argc)
            retrySeconds = std::max(0, std::atoi(argv[++i]));
        else if (opt == "--stats")
            stats = true;
        else if (opt == "--help" || opt == "-h")
            return usage(stdout);
        else
            return usage();
    }
    if (i >= argc)
        return usage();
    const std::string command = argv[i++];
    const std::vector<std::string> args(argv + i, argv + argc);
    if (command == "sync") {
        if (const int rc = cli::checkSyncArgs(args); rc != 0)
            return rc;
    }

    const bool check = command == "check-device";
    if (check && !(args.empty() || (args.size() == 1 && args[0] == "--quick")))
        return usage();
    auto pipe = std::make_shared<link::Pipe>(baud > 0 ? link::Pipe::Kind::Uart : link::Pipe::Kind::Usb);
    pipe->setDevicePath(port);
    if (baud > 0)
        pipe->setLine(1, baud);
    std::string error;
    if (!pipe->open(&error)) {
        std::fprintf(stderr, "vexo: %s\n", error.c_str());
        return 1;
    }
    if (check)
        return cli::DeviceCheck(pipe, timeoutMs, !args.empty()).run(stdout);
    link::FileClient client(pipe);
    client.setTimeout(timeoutMs);
    client.setResume(resume);
    cli::TransferRun transfers(client, retrySeconds, port);
    const auto started = std::chrono::steady_clock::now();
    if (const auto e = client.connect(); e != LinkError::Ok)
        return report("cannot reach the device on " + port, e);

    int rc = 0;
    uint64_t payloadBytes = 0;
    ListOptions listOptions;
    if (command == "ls" && parseListOptions(args, listOptions)) {
        rc = listCommand(client, listOptions);
    } else if (command == "get" && !args.empty()) {
        std::vector<link::TransferItem> items;
        std::vector<std::string> labels;
        const bool intoDir = args.size() >= 2 && isDir(args.back());
        if (args.size() > 2 && !intoDir) {
            std::fprintf(stderr, "vexo: %s: not a folder\n", args.back().c_str());
            return 1;
        }
        const size_t names = intoDir ? args.size() - 1 : 1;
        for (size_t n = 0; n < names; ++n) {
            link::TransferItem item;
            if (!toDevice(args[n], item.source))
                return 1;
            std::string dest = args.size() == 2 && !intoDir ? args[1] : args[n];
            if (intoDir)
                dest = args.back() + "/" + baseName(args[n]);
            else if (args.size() == 1)
                dest = baseName(args[n]);
            item.destination = dest;
            item.overwrite = overwrite;
            items.push_back(item);
            labels.push_back(args[n]);
        }
        rc = transfers.run(items, labels, false);
        for (const auto &item : items) {
            struct stat st {
            };
            if (stat(item.destination.c_str(), &st) == 0)
                payloadBytes += static_cast<uint64_t>(st.st_size);
        }
    } else if (command == "put" && !args.empty()) {
        // Every FILE is a local file; another name is only ever given with
        // --as, so what an argument means never depends on what exists.
        std::vector<std::string> files;
        std::string as;
        bool renamed = false;
        for (size_t n = 0; n < args.size(); ++n) {
            if (args[n] == "--as" && n + 1 < args.size() && !renamed) {
                as = args[++n];
                renamed = true;
            } else {
                files.push_back(args[n]);
            }
        }
        if (files.empty() || (renamed && files.size() != 1)) {
            client.close();
            return usage();
        }
        std::vector<link::TransferItem> items;
        std::vector<std::string> labels;
        for (size_t n = 0; n < files.size(); ++n) {
            link::TransferItem item;
            item.source = files[n];
            const std::string name = renamed ? as : baseName(files[n]);
            if (!toDevice(name, item.destination))
                return 1;
            item.overwrite = overwrite;
            items.push_back(item);
            labels.push_back(name);
            struct stat st {
            };
            if (stat(files[n].c_str(), &st) == 0)
                payloadBytes += static_cast<uint64_t>(st.st_size);
        }
        rc = transfers.run(items, labels, true);
    } else if (command == "sync") {
        rc = cli::runSync(client, args, baud, port);
    } else if (command == "rm" && !args.empty()) {
        std::vector<std::string> wires, labels;
        for (const std::string &name : args) {
            std::string wire;
            if (!toDevice(name, wire)) {
                rc = 1;
                continue;
            }
            wires.push_back(wire);
            labels.push_back(name);
        }
        std::vector<LinkError> results;
        if (const auto e = client.removeMany(wires, results, nullptr); e != LinkError::Ok)
            rc = report("cannot reach the device on " + port, e);
        else {
            for (size_t i = 0; i < results.size(); ++i)
                rc = report(labels[i], results[i]) != 0 ? 1 : rc;
        }
    } else if (command == "df" && args.empty()) {
        rc = spaceCommand(client);
    } else if (command == "mv" && args.size() == 2) {
        std::string from, to;
        rc = toDevice(args[0], from) && toDevice(args[1], to) ? report(args[0], client.rename(from, to)) : 1;
    } else {
        client.close();
        return usage();
    }
    client.close();
    // Output that could not be written is a failure, never a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "vexo: cannot write the output\n");
        rc = 1;
    }
    if (stats) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const auto s = client.stats();
        std::fprintf(
            stderr,
            "vexo: %llu payload bytes in %.3f s (%.0f B/s); line: %llu bytes out, %llu in, "
            "%llu frames, %llu resent, %llu naks\n",
            static_cast<unsigned long long>(payloadBytes), seconds,
            seconds > 0 ? static_cast<double>(payloadBytes) / seconds : 0.0,
            static_cast<unsigned long long>(s.bytesWritten), static_cast<unsigned long long>(s.bytesRead),
            static_cast<unsigned long long>(s.framesSent), static_cast<unsigned long long>(s.framesResent),
            static_cast<unsigned long long>(s.naksSent));
    }
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    // Whatever a device sends is bounded; should memory still run out, say so and fail.
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vexo: %s\n", e.what());
        return 1;
    }
}
