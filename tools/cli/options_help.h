// The closing part of brelvix-render's --help: what the channels mean and in
// which units, the clock, the shutter, the viewport matrix, the largest image
// and the exit statuses. The README's renderer section says the same.
#ifndef BRELVIX_TOOLS_CLI_OPTIONS_HELP_H
#define BRELVIX_TOOLS_CLI_OPTIONS_HELP_H

namespace brelvix::render {

inline constexpr const char *kHelpFooter =
    R"(The lens's channels:
  ZoomFactor      twice the focal length over the film height (2.6217 is a
                  31.5 mm lens on the 24 mm film height)
  HShift          lens shift as a fraction of one eye's film width (half the
                  film width); positive looks right
  VShift          lens shift as a fraction of the film height; positive
                  looks up
  StereoDistance  distance between the two eyes, in metres (with a SCENE
                  file, in the scene's units)
  StereoAngle     turn of each eye about the camera's up axis, in radians;
                  positive turns the eyes outward, away from each other
Channels not given keep the module's defaults, or the values of a scene
loaded with --load-scene; --set is applied after the named options, keys
after values.

Times are scene times in seconds: the shutter is open from --frame-start for
--frame-duration, and --move and keys use the same clock. The frame handed to
the lens says 24 frames per second; the lens does not use the rate. The lens
samples the camera at 4 x --motion-steps + 1 evenly spaced times, and each
of them gets an equal share of a pixel's samples.

The viewport matrix printed is the host viewport's: it treats the whole film
as one view, without the eyes' split, so its horizontal shift (row 2, column
0) is HShift times the whole film width, twice the shift of each eye's view.

A SCENE file brings its camera (position, axes, zoom, film, focus and
f-stop; a LightWave scene also its resolution and depth-of-field switch),
which the options given override; --position, --target, --move,
--frame-start and --frame-duration are refused with one. A LightWave
scene's object paths are tried as written, then under the content folder
(--content, or the scene's folder and each above it), with leading folders
dropped, by file name beside the scene, and without regard to case.
Without a scene, frame N opens the shutter at --frame-start + N x
--frame-duration; a LightWave scene's frame N at N / FramesPerSecond, for
one frame's time. Each frame of --frames A-B goes to NAME.0001.EXT, ...

The largest image, 16384 x 16384 pixels, needs about 7.8 GiB of memory, 31
bytes a pixel (10.9 GiB with --anaglyph, 43.5 bytes a pixel; an .exr output
16 bytes a pixel more), besides the scene.

Exit status: 0 on success; 1 when the module, a scene file or the output
fails, when memory runs out or when stopped by SIGTERM or SIGHUP; 2 for a
wrong command line; 130 when interrupted by Ctrl-C (SIGINT). A run that
fails or is stopped leaves no file behind.)";

} // namespace brelvix::render

#endif
