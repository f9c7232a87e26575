#include "engine/support/monitor_recorder.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char **environ;

namespace tarn::test {

namespace {

// Runs pactl against `server`; true when it succeeded.
bool pactl(const PrivateSoundServer &server, std::vector<std::string> args)
{
    args.insert(args.begin(), {"pactl", "--server=" + server.address()});
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "pactl", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

MonitorRecorder::MonitorRecorder(const PrivateSoundServer &server, int rate, int channels,
                                 int latencyMs)
{
    const std::string file = dir_.file("monitor.raw");
    // Under timeout: a test that dies must not leave parec recording (and
    // keeping the server alive) for ever.
    std::vector<std::string> args = {"timeout",
                                     "300",
                                     "parec",
                                     "--server=" + server.address(),
                                     "--device=" + std::string(PrivateSoundServer::sinkName) +
                                         ".monitor",
                                     "--format=float32le",
                                     "--rate=" + std::to_string(rate),
                                     "--channels=" + std::to_string(channels),
                                     "--latency-msec=" + std::to_string(latencyMs),
                                     "--raw"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "timeout", &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    auto grows = [&] {
        std::error_code ignored;
        const auto start = std::filesystem::file_size(file, ignored);
        return waitUntil([&] { return std::filesystem::file_size(file, ignored) > start; },
                         std::chrono::seconds(5));
    };
    if (pid_ <= 0 || !grows())
        return;
    // The null sink renders as far ahead as the latency asked when it
    // started (two seconds with nobody asking); a suspend and resume starts
    // it again at the latency parec asks for.
    recording_ = pactl(server, {"suspend-sink", PrivateSoundServer::sinkName, "1"}) &&
                 pactl(server, {"suspend-sink", PrivateSoundServer::sinkName, "0"}) && grows();
}

std::vector<float> MonitorRecorder::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    const std::vector<char> bytes = readBytes(dir_.file("monitor.raw"));
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

MonitorRecorder::~MonitorRecorder()
{
    if (pid_ > 0)
        stop();
}

} // namespace tarn::test
