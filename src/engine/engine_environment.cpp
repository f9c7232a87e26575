#include "engine/engine_environment.h"

#include <charconv>
#include <string_view>

namespace tarn::engine {

namespace {

// A whole decimal number, nothing before or after it.
std::optional<int> number(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "TARGET,REQUEST[,PREBUF[,ADJUST]]": TARGET 20 to 10000, REQUEST 5 to
// TARGET, PREBUF 0 to TARGET, ADJUST 0 or 1. Nothing for any other text.
std::optional<PulseBuffer> pulseBuffer(std::string_view text)
{
    std::vector<int> fields;
    while (fields.size() < 5) {
        const size_t comma = text.find(',');
        const std::optional<int> field = number(text.substr(0, comma));
        if (!field)
            return std::nullopt;
        fields.push_back(*field);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    if (fields.size() < 2 || fields.size() > 4)
        return std::nullopt;
    PulseBuffer b;
    b.targetMs = fields[0];
    b.requestMs = fields[1];
    if (fields.size() >= 3)
        b.prebufMs = fields[2];
    if (fields.size() == 4 && fields[3] != 0 && fields[3] != 1)
        return std::nullopt;
    b.adjustLatency = fields.size() == 4 && fields[3] == 1;
    if (b.targetMs < 20 || b.targetMs > 10000 || b.requestMs < 5 || b.requestMs > b.targetMs ||
        b.prebufMs < 0 || b.prebufMs > b.targetMs)
        return std::nullopt;
    return b;
}

} // namespace

const char *const kEngineEnvironmentHelp =
    "  TARN_AUDIO_OUTPUT=pulse|sdl   play through that output only (default: PulseAudio\n"
    "                                when a server answers, else SDL)\n"
    "  TARN_PULSE_BUFFER_MS=TARGET,REQUEST[,PREBUF[,ADJUST]]\n"
    "                                the PulseAudio buffer in milliseconds\n"
    "  TARN_CODEC_MODULE, TARN_PULSE_MODULE, TARN_SDL_MODULE=FILE\n"
    "                                load that module file instead of the installed one\n";

EngineEnvironment readEngineEnvironment(const EnvironmentLookup &lookup)
{
    const auto get = [&lookup](const char *name) -> std::string_view {
        const char *value = lookup(name);
        return value != nullptr ? value : "";
    };
    EngineEnvironment env;
    const std::string_view output = get("TARN_AUDIO_OUTPUT");
    if (output == "pulse")
        env.output.output = OutputChoice::Pulse;
    else if (output == "sdl")
        env.output.output = OutputChoice::Sdl;
    else if (!output.empty())
        env.problems.push_back("TARN_AUDIO_OUTPUT=" + std::string(output) +
                               " is neither pulse nor sdl: ignored, the output is chosen as usual");

    const std::string_view buffer = get("TARN_PULSE_BUFFER_MS");
    if (!buffer.empty()) {
        env.output.pulseBuffer = pulseBuffer(buffer);
        if (!env.output.pulseBuffer)
            env.problems.push_back(
                "TARN_PULSE_BUFFER_MS=" + std::string(buffer) +
                " is not TARGET,REQUEST[,PREBUF[,ADJUST]] in milliseconds (TARGET 20 to 10000, "
                "REQUEST 5 to TARGET, PREBUF 0 to TARGET, ADJUST 0 or 1): ignored, the usual "
                "buffer is used");
    }

    env.modules.codec = get("TARN_CODEC_MODULE");
    env.modules.pulse = get("TARN_PULSE_MODULE");
    env.modules.sdl = get("TARN_SDL_MODULE");
    return env;
}

EngineOptions applyEngineEnvironment(const char *program, const EnvironmentLookup &lookup,
                                     std::FILE *report)
{
    EngineEnvironment env = readEngineEnvironment(lookup);
    for (const std::string &problem : env.problems)
        std::fprintf(report, "%s: %s\n", program, problem.c_str());
    useModuleFiles(std::move(env.modules));
    EngineOptions options;
    options.output = env.output;
    return options;
}

} // namespace tarn::engine
