// The commands of vidlathe-cli that read existing MPEG-1 files: props,
// component, concat-stills and concat-motion.
#pragma once

namespace vidlathe_cli {

// Runs the command named by argv[1] when it is one of these; *status is
// the exit status then. false for other commands.
bool RunStreamCommand(int argc, char** argv, int* status);

}  // namespace vidlathe_cli
