// TEMPORARY placeholder so the rest of the tree links; replaced by the real engine.
#include "engine/engine.h"

namespace tarn::engine {
struct Engine::Impl {
    std::string fileName;
    std::int32_t volume = 0;
    bool flag = false;
};
Engine::Engine() : d(std::make_unique<Impl>()) {}
Engine::~Engine() = default;
bool Engine::setFileName(const std::string &path) { d->fileName = path; return false; }
const std::string &Engine::FileName() const { return d->fileName; }
void Engine::Play() {}
void Engine::Pause() {}
void Engine::Stop() {}
double Engine::Position() const { return 0; }
void Engine::setPosition(double) {}
double Engine::Length() const { return 0; }
void Engine::setVolume(std::int32_t v) { d->volume = v; }
std::int32_t Engine::Volume() const { return d->volume; }
int Engine::PlayStatus() const { return 0; }
void Engine::setFlag1017(bool on) { d->flag = on; }
bool Engine::flag1017() const { return d->flag; }
std::string Engine::LastError() const { return "engine not built yet"; }
void Engine::setEndOfStreamCallback(EndOfStreamCallback) {}
bool Engine::isCurrentGeneration(std::uint64_t) const { return false; }
OutputSpec Engine::outputSpec() const { return {}; }
std::int64_t Engine::firstSampleLatencyNs() const { return -1; }
}
