#include "tools/render/options.h"

#include "tools/render/lens_session.h"
#include "tools/render/option_values.h"
#include "tools/render/options_help.h"
#include "tools/render/pending_file.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace brelvix::render {

using namespace option_values;

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

    std::string width, height, samples, threads, filmWidth, filmHeight;
    app.add_option("--width", width, "Image width in pixels, even (default 960)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--height", height, "Image height in pixels (default 320)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--spp", samples, "Samples per pixel (default 16)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--threads", threads, "Render threads (default: one per core)")
        ->option_text("N")
        ->group("Image");
    app.add_option("--film-width", filmWidth, "Film width in metres (default 0.072)")
        ->option_text("METRES")
        ->group("Image");
    app.add_option("--film-height", filmHeight, "Film height in metres (default 0.024)")
        ->option_text("METRES")
        ->group("Image");
    app.add_option("-o,--output", options.outputPath,
                   "PNG or OpenEXR file to write, by its extension (default brelvix-render.png)")
        ->option_text("PATH")
        ->group("Image");
    app.add_flag("--anaglyph", options.anaglyph,
                 "Red/cyan composite of the two halves, half the width")
        ->group("Image");
    bool noDepthOfField = false;
    app.add_flag("--no-dof", noDepthOfField,
                 "Depth of field off: every ray through the lens centre")
        ->group("Image");
    bool depthOfField = false;
    app.add_flag("--dof", depthOfField,
                 "Depth of field on, also for a scene whose camera has it off")
        ->group("Image");

    std::string named[kChannelNames.size()];
    for (std::size_t i = 0; i < kChannelNames.size(); ++i) {
        app.add_option(std::string("--") + kChannelNames[i], named[i],
                       std::string("Hold channel ") + kChannelNames[i] + " at VALUE (units below)")
            ->option_text("VALUE")
            ->group("Lens channels");
    }
    std::vector<std::string> sets, keys;
    app.add_option("--set", sets, "Hold a channel at a value (repeatable)")
        ->option_text("NAME=VALUE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false)
        ->group("Lens channels");
    app.add_option("--key", keys, "Key a channel at a scene time (repeatable)")
        ->option_text("NAME@TIME=VALUE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false)
        ->group("Lens channels");

    std::string position, target, move, focalDistance, fStop;
    app.add_option("--position", position, "Camera position (default 0,0.42,-0.2)")
        ->option_text("X,Y,Z")
        ->group("Camera");
    app.add_option("--target", target, "Point the camera looks at (default 0,0.42,2)")
        ->option_text("X,Y,Z")
        ->group("Camera");
    app.add_option("--move", move, "Camera travel from the frame's start to its end")
        ->option_text("DX,DY,DZ")
        ->group("Camera");
    app.add_option("--focal-distance", focalDistance,
                   "Distance in focus (default: the distance to the target)")
        ->option_text("METRES")
        ->group("Camera");
    app.add_option("--f-stop", fStop, "Aperture number (default 1)")
        ->option_text("N")
        ->group("Camera");

    std::string motionSteps, frameStart, frameDuration;
    app.add_option("--motion-steps", motionSteps,
                   "Motion blur: 0 turns motion blur off; each step adds four sample times "
                   "(default 1)")
        ->option_text("N")
        ->group("Frame");
    app.add_option("--frame-start", frameStart, "Scene time the shutter opens (default 0)")
        ->option_text("TIME")
        ->group("Frame");
    app.add_option("--frame-duration", frameDuration, "Time the shutter stays open (default 1)")
        ->option_text("TIME")
        ->group("Frame");

    const CLI::Option *const saveScene =
        app.add_option("--save-scene", options.saveScenePath,
                       "Save the render set-up (camera, focus, film, frame) and the lens's "
                       "channels to a scene file")
            ->option_text("PATH")
            ->group("Scene and module");
    const CLI::Option *const loadScene =
        app.add_option("--load-scene", options.loadScenePath,
                       "Load a scene file; options given here override its settings")
            ->option_text("PATH")
            ->group("Scene and module");
    const CLI::Option *const module =
        app.add_option("--module", options.modulePath,
                       "Module file to load (default: brelvix.so beside this program, or the "
                       "installed one)")
            ->option_text("PATH")
            ->group("Scene and module");
    app.add_flag("-q,--quiet", options.quiet,
                 "No progress bar and no report; only the output's name")
        ->group("Scene and module");

    SceneArguments sceneArguments;
    addSceneOptions(app, sceneArguments);

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
        FilmSettings &film = options.film;
        if (!width.empty()) {
            film.width = integer("--width", width, 2, kMaxImageSide);
        }
        if (film.width % 2 != 0) {
            throw UsageError("--width must be even: the image is two halves side by side");
        }
        if (!height.empty()) {
            film.height = integer("--height", height, 1, kMaxImageSide);
        }
        if (!samples.empty()) {
            film.samplesPerPixel = integer("--spp", samples, 1, 65536);
        }
        if (!threads.empty()) {
            options.threads = integer("--threads", threads, 1, 256);
        }
        if (!filmWidth.empty()) {
            film.filmWidth = positive("--film-width", filmWidth);
        }
        if (!filmHeight.empty()) {
            film.filmHeight = positive("--film-height", filmHeight);
        }
        if (depthOfField && noDepthOfField) {
            throw UsageError("--dof and --no-dof exclude each other");
        }
        film.depthOfField = !noDepthOfField;

        for (std::size_t i = 0; i < kChannelNames.size(); ++i) {
            if (!named[i].empty()) {
                options.values.push_back(
                    {kChannelNames[i], number(std::string("--") + kChannelNames[i], named[i])});
            }
        }
        for (const std::string &text : sets) {
            options.values.push_back(channelValue(text));
        }
        for (const std::string &text : keys) {
            options.keys.push_back(channelKey(text));
        }
        // The panel's range: a zoom of 0 or below makes no lens, held or keyed.
        const auto noLens = [](const auto &given) {
            return given.channel == kChannelNames[0] && !(given.value > 0.0);
        };
        if (std::any_of(options.values.begin(), options.values.end(), noLens) ||
            std::any_of(options.keys.begin(), options.keys.end(), noLens)) {
            throw UsageError(std::string(kChannelNames[0]) + " must be above 0");
        }

        if (!position.empty()) {
            options.position = vector("--position", position);
        }
        if (!target.empty()) {
            options.target = vector("--target", target);
        }
        if (length(options.target - options.position) == 0.0) {
            throw UsageError("--target must differ from --position");
        }
        if (!move.empty()) {
            options.move = vector("--move", move);
        }
        if (!focalDistance.empty()) {
            options.focalDistance = positive("--focal-distance", focalDistance);
        }
        if (!fStop.empty()) {
            options.fStop = positive("--f-stop", fStop);
        }
        if (!motionSteps.empty()) {
            options.film.motionSteps = integer("--motion-steps", motionSteps, 0, kMaxMotionSteps);
        }
        if (!frameStart.empty()) {
            options.frameStart = number("--frame-start", frameStart);
        }
        if (!frameDuration.empty()) {
            options.frameDuration = number("--frame-duration", frameDuration);
            if (options.frameDuration < 0.0) {
                throw UsageError("--frame-duration must not be negative, not " + frameDuration);
            }
        }
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
        if (std::string error; !applySceneArguments(sceneArguments, options, error)) {
            throw UsageError(error);
        }
        if (!options.saveScenePath.empty() && sameFile(options.saveScenePath, options.outputPath)) {
            throw UsageError("--save-scene and --output name the same file");
        }
        const std::pair<const CLI::Option *, const std::string *> paths[] = {
            {saveScene, &options.saveScenePath},
            {loadScene, &options.loadScenePath},
            {module, &options.modulePath}};
        for (const auto &[option, path] : paths) {
            if (option->count() > 0 && path->empty()) {
                throw UsageError(option->get_name() + " needs a file name");
            }
        }

        // What a loaded scene must not change.
        const std::pair<const char *, bool> settings[] = {
            {"position", !position.empty()},
            {"target", !target.empty()},
            {"move", !move.empty()},
            {"focal-distance", !focalDistance.empty()},
            {"f-stop", !fStop.empty()},
            {"film-width", !filmWidth.empty()},
            {"film-height", !filmHeight.empty()},
            {"depth-of-field", noDepthOfField || depthOfField},
            {"motion-steps", !motionSteps.empty()},
            {"frame-start", !frameStart.empty()},
            {"frame-duration", !frameDuration.empty()},
            {"width", !width.empty()},
            {"height", !height.empty()},
        };
        for (const auto &[name, given] : settings) {
            if (given) {
                options.givenSettings.emplace_back(name);
            }
        }
        if (std::string error; !checkSceneSettings(options, error)) {
            throw UsageError(error);
        }
    } catch (const UsageError &error) {
        parsed.exitCode = kExitUsage;
        parsed.message = error.what();
    }
    return parsed;
}

} // namespace brelvix::render
