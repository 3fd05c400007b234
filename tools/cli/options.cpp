#include "tools/cli/options.h"

#include "tools/cli/depth_options.h"
#include "tools/cli/option_values.h"
#include "tools/cli/options_help.h"
#include "tools/cli/scene_options.h"
#include "tools/output/pending_file.h"
#include "tools/render/lens_session.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace brelvix::render {

using namespace option_values;

namespace {

/// What the options give, as text until checked.
struct OptionText {
    std::string width, height, samples, threads, filmWidth, filmHeight;
    bool noDepthOfField = false;
    bool depthOfField = false;
    std::string named[kChannelNames.size()];
    std::vector<std::string> sets, keys;
    std::string position, target, move, focalDistance, fStop;
    std::string motionSteps, frameStart, frameDuration;
    const CLI::Option *saveScene = nullptr;
    const CLI::Option *loadScene = nullptr;
    const CLI::Option *module = nullptr;
    SceneArguments scene;
    cli::DepthArguments depth;
};

void addImageOptions(CLI::App &app, OptionText &text, RenderOptions &options) {
    app.add_option("--width", text.width, "Image width in pixels, even (default 960)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--height", text.height, "Image height in pixels (default 320)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--spp", text.samples, "Samples per pixel (default 16)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--threads", text.threads, "Render threads (default: one per core)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--film-width", text.filmWidth, "Film width in metres (default 0.072)")
        ->option_text("METRES")
        ->group("Image");
    app.add_option("--film-height", text.filmHeight, "Film height in metres (default 0.024)")
        ->option_text("METRES")
        ->group("Image");
    app.add_option("-o,--output", options.outputPath,
                   "PNG or OpenEXR file to write, by its extension (default brelvix-render.png)")
        ->option_text("PATH")
        ->group("Image");
    app.add_flag("--anaglyph", options.anaglyph,
                 "Red/cyan composite of the two halves, half the width")
        ->group("Image");
    app.add_flag("--no-dof", text.noDepthOfField,
                 "Depth of field off: every ray through the lens centre")
        ->group("Image");
    app.add_flag("--dof", text.depthOfField,
                 "Depth of field on, also for a scene whose camera has it off")
        ->group("Image");
}

void addLensOptions(CLI::App &app, OptionText &text) {
    for (std::size_t i = 0; i < kChannelNames.size(); ++i) {
        app.add_option(std::string("--") + kChannelNames[i], text.named[i],
                       std::string("Hold channel ") + kChannelNames[i] + " at VALUE (units below)")
            ->option_text("VALUE")
            ->group("Lens channels");
    }
    app.add_option("--set", text.sets, "Hold a channel at a value (repeatable)")
        ->option_text("NAME=VALUE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false)
        ->group("Lens channels");
    app.add_option("--key", text.keys, "Key a channel at a scene time (repeatable)")
        ->option_text("NAME@TIME=VALUE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false)
        ->group("Lens channels");
}

void addCameraOptions(CLI::App &app, OptionText &text) {
    app.add_option("--position", text.position, "Camera position (default 0,0.42,-0.2)")
        ->option_text("X,Y,Z")
        ->group("Camera");
    app.add_option("--target", text.target, "Point the camera looks at (default 0,0.42,2)")
        ->option_text("X,Y,Z")
        ->group("Camera");
    app.add_option("--move", text.move, "Camera travel from the frame's start to its end")
        ->option_text("DX,DY,DZ")
        ->group("Camera");
    app.add_option("--focal-distance", text.focalDistance,
                   "Distance in focus (default: the distance to the target)")
        ->option_text("METRES")
        ->group("Camera");
    app.add_option("--f-stop", text.fStop, "Aperture number (default 1)")
        ->option_text("N")
        ->group("Camera");
    app.add_option("--motion-steps", text.motionSteps,
                   "Motion blur: 0 turns motion blur off; each step adds four sample times "
                   "(default 1)")
        ->option_text("N")
        ->group("Frame");
    app.add_option("--frame-start", text.frameStart, "Scene time the shutter opens (default 0)")
        ->option_text("TIME")
        ->group("Frame");
    app.add_option("--frame-duration", text.frameDuration,
                   "Time the shutter stays open (default 1)")
        ->option_text("TIME")
        ->group("Frame");
}

void addFileOptions(CLI::App &app, OptionText &text, RenderOptions &options) {
    text.saveScene = app.add_option("--save-scene", options.saveScenePath,
                                    "Save the render set-up (camera, focus, film, frame) and the "
                                    "lens's channels to a scene file")
                         ->option_text("PATH")
                         ->group("Scene and module");
    text.loadScene = app.add_option("--load-scene", options.loadScenePath,
                                    "Load a scene file; options given here override its settings")
                         ->option_text("PATH")
                         ->group("Scene and module");
    text.module =
        app.add_option("--module", options.modulePath,
                       "Module file to load (default: brelvix.so beside this program, or the "
                       "installed one)")
            ->option_text("PATH")
            ->group("Scene and module");
    app.add_flag("-q,--quiet", options.quiet,
                 "No progress bar and no report; only the output's name")
        ->group("Scene and module");
}

void applyImage(const OptionText &text, RenderOptions &options) {
    FilmSettings &film = options.film;
    if (!text.width.empty()) {
        film.width = integer("--width", text.width, 2, kMaxImageSide);
    }
    if (film.width % 2 != 0) {
        throw UsageError("--width must be even: the image is two halves side by side");
    }
    if (!text.height.empty()) {
        film.height = integer("--height", text.height, 1, kMaxImageSide);
    }
    if (!text.samples.empty()) {
        film.samplesPerPixel = integer("--spp", text.samples, 1, 65536);
    }
    if (!text.threads.empty()) {
        options.threads = integer("--threads", text.threads, 1, 256);
    }
    if (!text.filmWidth.empty()) {
        film.filmWidth = positive("--film-width", text.filmWidth);
    }
    if (!text.filmHeight.empty()) {
        film.filmHeight = positive("--film-height", text.filmHeight);
    }
    if (text.depthOfField && text.noDepthOfField) {
        throw UsageError("--dof and --no-dof exclude each other");
    }
    film.depthOfField = !text.noDepthOfField;
}

void applyChannels(const OptionText &text, RenderOptions &options) {
    for (std::size_t i = 0; i < kChannelNames.size(); ++i) {
        if (!text.named[i].empty()) {
            options.values.push_back(
                {kChannelNames[i], number(std::string("--") + kChannelNames[i], text.named[i])});
        }
    }
    for (const std::string &set : text.sets) {
        options.values.push_back(channelValue(set));
    }
    for (const std::string &key : text.keys) {
        options.keys.push_back(channelKey(key));
    }
    // The panel's range: a zoom of 0 or below makes no lens, held or keyed.
    const auto noLens = [](const auto &given) {
        return given.channel == kChannelNames[0] && !(given.value > 0.0);
    };
    if (std::any_of(options.values.begin(), options.values.end(), noLens) ||
        std::any_of(options.keys.begin(), options.keys.end(), noLens)) {
        throw UsageError(std::string(kChannelNames[0]) + " must be above 0");
    }
}

void applyCamera(const OptionText &text, RenderOptions &options) {
    if (!text.position.empty()) {
        options.position = vector("--position", text.position);
    }
    if (!text.target.empty()) {
        options.target = vector("--target", text.target);
    }
    if (length(options.target - options.position) == 0.0) {
        throw UsageError("--target must differ from --position");
    }
    if (!text.move.empty()) {
        options.move = vector("--move", text.move);
    }
    if (!text.focalDistance.empty()) {
        options.focalDistance = positive("--focal-distance", text.focalDistance);
    }
    if (!text.fStop.empty()) {
        options.fStop = positive("--f-stop", text.fStop);
    }
    if (!text.motionSteps.empty()) {
        options.film.motionSteps = integer("--motion-steps", text.motionSteps, 0, kMaxMotionSteps);
    }
    if (!text.frameStart.empty()) {
        options.frameStart = number("--frame-start", text.frameStart);
    }
    if (!text.frameDuration.empty()) {
        options.frameDuration = number("--frame-duration", text.frameDuration);
        if (options.frameDuration < 0.0) {
            throw UsageError("--frame-duration must not be negative, not " + text.frameDuration);
        }
    }
}

void applyFiles(const OptionText &text, RenderOptions &options) {
    if (options.outputPath.empty()) {
        throw UsageError("--output needs a file name");
    }
    const std::optional<OutputFormat> format = outputFormat(options.outputPath);
    if (!format) {
        throw UsageError("--output must name a .png file or an .exr file (the formats "
                         "written), not '" +
                         options.outputPath + "'");
    }
    options.outputFormat = *format;
    if (std::string error; !applySceneArguments(text.scene, options, error)) {
        throw UsageError(error);
    }
    if (!options.saveScenePath.empty() && sameFile(options.saveScenePath, options.outputPath)) {
        throw UsageError("--save-scene and --output name the same file");
    }
    const std::pair<const CLI::Option *, const std::string *> paths[] = {
        {text.saveScene, &options.saveScenePath},
        {text.loadScene, &options.loadScenePath},
        {text.module, &options.modulePath}};
    for (const auto &[option, path] : paths) {
        if (option->count() > 0 && path->empty()) {
            throw UsageError(option->get_name() + " needs a file name");
        }
    }
}

/// What a loaded scene must not change: the settings the command line gave.
void recordGiven(const OptionText &text, RenderOptions &options) {
    const std::pair<const char *, bool> settings[] = {
        {"position", !text.position.empty()},
        {"target", !text.target.empty()},
        {"move", !text.move.empty()},
        {"focal-distance", !text.focalDistance.empty()},
        {"f-stop", !text.fStop.empty()},
        {"film-width", !text.filmWidth.empty()},
        {"film-height", !text.filmHeight.empty()},
        {"depth-of-field", text.noDepthOfField || text.depthOfField},
        {"motion-steps", !text.motionSteps.empty()},
        {"frame-start", !text.frameStart.empty()},
        {"frame-duration", !text.frameDuration.empty()},
        {"width", !text.width.empty()},
        {"height", !text.height.empty()},
    };
    for (const auto &[name, given] : settings) {
        if (given) {
            options.givenSettings.emplace_back(name);
        }
    }
    if (std::string error; !checkSceneSettings(options, error)) {
        throw UsageError(error);
    }
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string> &arguments) {
    ParsedCommandLine parsed;
    RenderOptions &options = parsed.options;
    const unsigned cores = std::thread::hardware_concurrency();
    options.threads = cores == 0 ? 1 : static_cast<int>(cores);

    CLI::App app{"Renders a scene (or a built-in one) through the Brelvix lens module, loaded\n"
                 "as the host loads it, and writes a PNG or OpenEXR file: a side-by-side\n"
                 "stereo pair, the left eye's view on the left.",
                 "brelvix-render"};
    app.footer(kHelpFooter);
    app.get_formatter()->column_width(34);
    // A later value of an option replaces an earlier one; --set and --key
    // collect theirs.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    OptionText text;
    addImageOptions(app, text, options);
    addLensOptions(app, text);
    addCameraOptions(app, text);
    addFileOptions(app, text, options);
    addSceneOptions(app, text.scene);
    cli::addDepthOptions(app, text.depth);

    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        parsed.exitCode = kExitSuccess;
        parsed.message = app.help();
        return parsed;
    } catch (const CLI::ParseError &error) {
        parsed.exitCode = kExitUsage;
        parsed.message = error.what();
        return parsed;
    }
    try {
        applyImage(text, options);
        applyChannels(text, options);
        applyCamera(text, options);
        applyFiles(text, options);
        recordGiven(text, options);
        if (std::string error;
            !cli::applyDepthArguments(app, text.depth, options, parsed.depth, error)) {
            throw UsageError(error);
        }
        parsed.budgetGiven = cli::budgetGiven(text.depth);
    } catch (const UsageError &error) {
        parsed.exitCode = kExitUsage;
        parsed.message = error.what();
    }
    return parsed;
}

} // namespace brelvix::render
