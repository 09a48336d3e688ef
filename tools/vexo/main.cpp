// vexo: command-line client of the palmtop's file service.
#include "FileClient.h"
#include "JsonListing.h"
#include "NameCodec.h"
#include "Sync.h"
#include "TransferRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <sys/stat.h>
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
                 "  ls [--json]             list the device's files (--json: a JSON array)\n"
                 "  get NAME [DEST]         copy a device file here (DEST: file or folder)\n"
                 "  get NAME... DIR         copy several device files into a folder\n"
                 "  put FILE [NAME]         copy a local file to the device\n"
                 "  put FILE...             copy several local files under their own names\n"
                 "  rm NAME                 delete a device file\n"
                 "  mv OLD NEW              rename a device file\n"
                 "  sync DIR [--to-device|--to-pc|--both] [--dry-run] [--delete]\n"
                 "                          make a folder and the device agree (default both ways,\n"
                 "                          newer wins); prints the plan first; deletes only with --delete\n"
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

bool isFile(const std::string &path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

    auto pipe = std::make_shared<link::Pipe>(baud > 0 ? link::Pipe::Kind::Uart : link::Pipe::Kind::Usb);
    pipe->setDevicePath(port);
    if (baud > 0)
        pipe->setLine(1, baud);
    std::string error;
    if (!pipe->open(&error)) {
        std::fprintf(stderr, "vexo: %s\n", error.c_str());
        return 1;
    }
    link::FileClient client(pipe);
    client.setTimeout(timeoutMs);
    client.setResume(resume);
    cli::TransferRun transfers(client, retrySeconds);
    const auto started = std::chrono::steady_clock::now();
    if (const auto e = client.connect(); e != LinkError::Ok)
        return report("cannot reach the device on " + port, e);

    int rc = 0;
    uint64_t payloadBytes = 0;
    if (command == "ls" && args.size() == 1 && args[0] == "--json") {
        std::vector<link::DeviceEntry> entries;
        rc = report("ls", client.list("*", entries));
        cli::JsonListing listing;
        for (const auto &e : entries)
            listing.add(e.name, e.size, e.mtimeMs / 1000);
        if (rc == 0)
            std::fputs(listing.finish().c_str(), stdout);
    } else if (command == "ls" && args.empty()) {
        std::vector<link::DeviceEntry> entries;
        size_t refused = 0;
        rc = report("ls", client.list("*", entries, &refused));
        if (refused > 0) {
            std::fprintf(stderr, "vexo: ls: %zu name(s) the device may not use were left out\n", refused);
            rc = 1;
        }
        // Names in quotes with escapes: whatever the device sends, it cannot
        // forge a line or reach the terminal's control sequences.
        for (const auto &e : entries) {
            const std::time_t t = static_cast<std::time_t>(e.mtimeMs / 1000);
            std::tm tm{};
            gmtime_r(&t, &tm);
            char date[32];
            std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &tm);
            std::printf("%10llu  %s  %s\n", static_cast<unsigned long long>(e.size), date,
                        link::quotedName(e.name).c_str());
        }
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
        std::vector<link::TransferItem> items;
        std::vector<std::string> labels;
        const bool many = args.size() > 2 || (args.size() == 2 && isFile(args[1]));
        for (size_t n = 0; n < (many ? args.size() : 1); ++n) {
            link::TransferItem item;
            item.source = args[n];
            const std::string name = !many && args.size() == 2 ? args[1] : baseName(args[n]);
            if (!toDevice(name, item.destination))
                return 1;
            item.overwrite = overwrite;
            items.push_back(item);
            labels.push_back(name);
            struct stat st {
            };
            if (stat(args[n].c_str(), &st) == 0)
                payloadBytes += static_cast<uint64_t>(st.st_size);
        }
        rc = transfers.run(items, labels, true);
    } else if (command == "sync") {
        rc = cli::runSync(client, args, baud);
    } else if (command == "rm" && args.size() == 1) {
        std::string wire;
        rc = toDevice(args[0], wire) ? report(args[0], client.remove(wire)) : 1;
    } else if (command == "mv" && args.size() == 2) {
        std::string from, to;
        rc = toDevice(args[0], from) && toDevice(args[1], to) ? report(args[0], client.rename(from, to)) : 1;
    } else {
        client.close();
        return usage();
    }
    client.close();
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
