#pragma once
// The commands of the wymap tool: address search, reverse geocoding and the
// places search, run against the services' endpoints, and render, which
// draws the map of a place into a PNG, PDF or SVG file without a window.
//
// RunWymap is the whole program without its main(): it reads the arguments
// (without the program name), sets the endpoint settings given with
// --endpoint for this process, runs the command on the window thread (it runs
// the event queue until the request completes or the time-out passes) and
// returns the exit code. Results go to `out`; a failure is one line on `err`
// starting with "wymap: ". When no application object exists, a QApplication
// is created for the duration of the call (render keeps its view and shapes
// in a map widget that is never shown, which needs one that can make
// widgets; the map's renderer draws the picture).

#include <ostream>
#include <string>
#include <vector>

namespace wy {

// Exit codes.
constexpr int kWymapOk = 0;             // done; finding nothing is no failure
constexpr int kWymapRequestFailed = 1;  // the service gave no usable answer
constexpr int kWymapUsage = 2;          // bad command line

// Call before the application object is made: sets QT_QPA_PLATFORM to
// "offscreen" when it is not set, so that the tool needs no display, and
// silences Qt's note about a missing XDG_RUNTIME_DIR (the normal state of a
// headless session), so that standard error holds only the tool's lines.
void PrepareApplication();

// The text --help prints.
std::string WymapUsage();

int RunWymap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Helpers exposed for tests.
// A whole text as a finite number ("." only, no blanks, no ","); false
// otherwise.
bool ParseStrictNumber(const std::string& text, double& value);
// A JSON string literal of text; invalid UTF-8 becomes U+FFFD.
std::string JsonString(const std::string& text);

}  // namespace wy
