// tarn-engine-play as scripts use it: the events it prints, the advance from
// file to file, its exit status, its options and its end on SIGTERM.
#include "engine/support/disk_output.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace tarn::test;

namespace {

struct Run {
    int status = -1;                 // exit status, or -1 when it did not exit by itself
    std::vector<std::string> events; // each line without its timestamp
    bool timesIncrease = true;
};

// Starts the tool (or the copy `tool`) with `args`; `whilePlaying` runs once
// its first "play" line has been read (given the child's pid). Kills it after 30 s.
Run runTool(const std::vector<std::string> &args, void (*whilePlaying)(pid_t) = nullptr,
            const std::string &tool = TARN_ENGINE_PLAY)
{
    Run run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> argvText = {tool};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return run;
    }
    // Read its lines until it closes stdout; past the deadline kill it (it
    // is not reaped before the loop ends, so the pid is still ours).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string pending;
    double last = -1;
    bool signalled = false, killed = false;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) == 0) {
            if (!killed && std::chrono::steady_clock::now() > deadline)
                killed = kill(pid, SIGKILL) == 0;
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::istringstream in(pending.substr(0, nl));
            pending.erase(0, nl + 1);
            double ms = 0;
            std::string rest;
            in >> ms;
            std::getline(in >> std::ws, rest);
            run.timesIncrease = run.timesIncrease && ms >= last;
            last = ms;
            run.events.push_back(rest);
            if (rest == "play" && whilePlaying && !signalled) {
                signalled = true;
                whilePlaying(pid);
            }
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &l : lines)
        text += "[" + l + "] ";
    return text;
}

void checkAdvanceAndStatus(Checks &checks)
{
    DiskCapture capture(Speed::Fast);
    const std::string a = fixture("gap_a.wav"), b = fixture("tone1k_f32_48k_mono.wav");
    const std::string bad = fixture("text_renamed.mp3");
    // Guards: no advance, events missing or misordered, a bad file hidden or ending the run.
    const Run good = runTool({a, b});
    const std::vector<std::string> expected = {"open " + a + " length=1.000",
                                               "play",
                                               "eos",
                                               "open " + b + " length=0.250",
                                               "play",
                                               "eos",
                                               "done"};
    checks.expect(good.events == expected, "two files: " + joined(good.events));
    checks.expect(good.status == 0, fmt("two files: exit %d", good.status));
    checks.expect(good.timesIncrease, "timestamps go back");

    const Run mixed = runTool({a, bad, b});
    checks.expect(mixed.status == 1, fmt("with a bad file: exit %d", mixed.status));
    const bool reported = mixed.events.size() == 8 &&
                          mixed.events[3].starts_with("error " + bad + " ") &&
                          mixed.events[3].size() > ("error " + bad + " ").size();
    checks.expect(reported, "with a bad file: " + joined(mixed.events));
    checks.expect(!mixed.events.empty() && mixed.events.back() == "done",
                  "with a bad file, no done");

    // Guards: a missing or broken FFmpeg module crashing the player, failing
    // silently, or keeping the files that do not need it from playing.
    const std::string wma = fixture("tone440_wmav1.wma");
    const std::string kept =
        std::getenv("TARN_CODEC_MODULE") ? std::getenv("TARN_CODEC_MODULE") : "";
    setenv("TARN_CODEC_MODULE", bad.c_str(), 1);
    const Run noModule = runTool({a, wma, b});
    setenv("TARN_CODEC_MODULE", kept.c_str(), 1);
    const std::string reason = "error " + wma + " this player's FFmpeg decoder could not be loaded";
    checks.expect(noModule.status == 1 && noModule.events.size() == 8 &&
                      noModule.events[3].starts_with(reason) && noModule.events[6] == "eos",
                  fmt("without the module: exit %d, ", noModule.status) + joined(noModule.events));
}

// A copy of the build folder moved elsewhere (an unpacked archive) finds its
// modules beside the program, only there, and only while no other user can
// change them.
void checkMovedFolder(Checks &checks)
{
    struct Case {
        const char *name;
        bool withModule;
        mode_t folderMode;
        const char *reason; // expected on the error line; null: plays
    };
    const Case cases[] = {
        {"copy with its module", true, 0755, nullptr},
        {"copy without its module", false, 0755, "libtarn-ffmpeg.so is missing"},
        {"copy in a folder everyone may write to", true, 0757, "player is writable by everyone"},
    };
    const std::string module =
        std::getenv("TARN_CODEC_MODULE") ? std::getenv("TARN_CODEC_MODULE") : "";
    unsetenv("TARN_CODEC_MODULE"); // the copy looks for it itself
    const std::string wma = fixture("tone440_wmav1.wma");
    for (const Case &c : cases) {
        const TempDir dir;
        const std::filesystem::path folder = dir.file("player");
        std::error_code ec;
        std::filesystem::create_directory(folder, ec);
        std::filesystem::copy_file(TARN_ENGINE_PLAY, folder / "tarn-engine-play", ec);
        if (c.withModule)
            std::filesystem::copy_file(module, folder / "libtarn-ffmpeg.so", ec);
        chmod(folder.c_str(), c.folderMode);
        const Run run = runTool({wma}, nullptr, folder / "tarn-engine-play");
        const std::string error =
            "error " + wma + " this player's FFmpeg decoder could not be loaded";
        bool refused = false;
        for (const std::string &e : run.events)
            refused = refused ||
                      (e.starts_with(error) && c.reason && e.find(c.reason) != std::string::npos);
        // Guards: the build tree's modules loaded by a copy of the program
        // (a path compiled in), a copy that cannot find its own, or modules
        // taken from a folder other users may write to.
        checks.expect(c.reason ? run.status == 1 && refused : run.status == 0,
                      std::string(c.name) + fmt(": exit %d, ", run.status) + joined(run.events));
    }
    setenv("TARN_CODEC_MODULE", module.c_str(), 1);
}

void checkOptions(Checks &checks)
{
    // Guards: malformed options accepted and acted on.
    for (const std::vector<std::string> &args : {std::vector<std::string>{},
                                                 {"--volume", "12", "x.wav"},
                                                 {"--volume", "-1e3", "x.wav"},
                                                 {"--seek", "-1", "x.wav"},
                                                 {"--pause-at", "1", "x.wav"},
                                                 {"--speed", "2", "x.wav"},
                                                 {"--seek"}}) {
        const Run run = runTool(args);
        checks.expect(run.status == 2 && run.events.empty(),
                      fmt("usage error not refused: exit %d, ", run.status) + joined(run.events));
    }
    // Guards: --seek ignored (the whole file played) or the pause never resumed.
    // In real time, so that the pause falls inside the file.
    DiskCapture capture(Speed::RealTime);
    const Run run = runTool({"--seek", "0.5", "--pause-at", "0.6:0.1", fixture("gap_a.wav")});
    const std::vector<std::string> expected = {
        "open " + fixture("gap_a.wav") + " length=1.000", "play", "pause", "play", "eos", "done"};
    checks.expect(run.status == 0 && run.events == expected,
                  fmt("seek and pause: exit %d, ", run.status) + joined(run.events));
    // The disk device grants what the engine asks for: float32, 48 kHz, stereo.
    Recording rec;
    rec.spec = {48000, 2, true, 4};
    rec.samples = capture.read(rec.spec);
    const double heard = rec.seconds(removeUnderruns(rec.channel(0)).size());
    checks.expect(std::fabs(heard - 0.5) < 0.02,
                  fmt("--seek 0.5 in a file of 1 s played %.3f s", heard));
}

void checkSignal(Checks &checks)
{
    // Guards: SIGTERM swallowed (by SDL) or ending the tool without cleanup.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const Run run =
        runTool({fixture("tone440_cbr128_id3.mp3")}, [](pid_t pid) { kill(pid, SIGTERM); });
    checks.expect(run.status == 128 + SIGTERM,
                  fmt("after SIGTERM: exit %d, ", run.status) + joined(run.events));
}

} // namespace

int main()
{
    Checks checks;
    checkAdvanceAndStatus(checks);
    checkOptions(checks);
    checkMovedFolder(checks);
    checkSignal(checks);
    return checks.exitCode();
}
