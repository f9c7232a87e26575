#include "engine/support/sound_server.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace tarn::test {

namespace {

// Whether a server listens on the unix socket at `path`.
bool accepts(const std::string &path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace

PrivateSoundServer::PrivateSoundServer(NullSinkOptions sink) : sink_(sink)
{
    start();
}

std::string PrivateSoundServer::address() const
{
    return "unix:" + dir_.file("native");
}

bool PrivateSoundServer::start()
{
    stop();
    const std::string runtime = dir_.file("");
    const std::string socket = dir_.file("native");
    std::vector<std::string> args = {"pulseaudio",
                                     "-n",
                                     "--daemonize=no",
                                     "--exit-idle-time=10", // gone soon after a test that died
                                     "--use-pid-file=no",
                                     "--log-target=stderr",
                                     "--log-level=0",
                                     "--load=module-null-sink sink_name=" + std::string(sinkName) +
                                         " rate=" + std::to_string(sink_.rate) +
                                         (sink_.precise ? " format=float32le channels=8 "
                                                          "channel_map=front-left,front-right,"
                                                          "aux0,aux1,aux2,aux3,aux4,aux5"
                                                        : ""),
                                     "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                                         socket};
    if (sink_.streamRestore)
        args.push_back("--load=module-stream-restore");
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime, "HOME=" + runtime,
                                    "PATH=/usr/bin:/bin"};
    std::vector<char *> argv, envp;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Neither output is the test's: a server left behind by a test that died
    // must not hold CTest's pipe open.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /* O_WRONLY */, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0x1 /* O_WRONLY */, 0);
    if (posix_spawnp(&pid_, "pulseaudio", &actions, nullptr, argv.data(), envp.data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid_ <= 0)
        return false;
    // The socket file appears before the server listens on it.
    ready_ = waitUntil([&] { return accepts(socket); }, std::chrono::seconds(5));
    if (ready_) {
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
        setenv("PULSE_SERVER", address().c_str(), 1);
    }
    return running();
}

void PrivateSoundServer::stop(bool crash)
{
    if (pid_ > 0) {
        kill(pid_, crash ? SIGKILL : SIGTERM);
        kill(pid_, SIGCONT); // a frozen server ends too
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    ready_ = false;
    std::error_code ignored;
    std::filesystem::remove(dir_.file("native"), ignored);
}

void PrivateSoundServer::freeze()
{
    if (pid_ > 0)
        kill(pid_, SIGSTOP);
}

void PrivateSoundServer::thaw()
{
    if (pid_ > 0)
        kill(pid_, SIGCONT);
}

PrivateSoundServer::~PrivateSoundServer()
{
    stop();
    unsetenv("PULSE_SERVER");
}

} // namespace tarn::test

// ThreadSanitizer cannot see the synchronisation inside libpulse (built
// without it) and reports races between its own threads; ours are still checked.
extern "C" const char *__tsan_default_suppressions()
{
    return "race:libpulsecommon\nrace:libpulse.so\n";
}

// libpulse keeps a few allocations per client thread until the process ends,
// and SDL its per-thread error text for threads it did not create.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libpulse.so\nleak:libSDL2\n";
}
