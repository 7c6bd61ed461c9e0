// onexrev-cli: computes reverse-link frames, writes them, and drives the
// instrument from the command line.

#include <cstdio>
#include <exception>
#include <string>

#include "Cli.h"
#include "platform/Error.h"
#include "version/Version.h"

int main(int argc, char** argv) {
    CLI::App app{"1xEV Reverse Link signal generation, command line", "onexrev-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("onexrev-cli ") + onex::versionText());
    onex::cli::addCalculateCommand(app);
    onex::cli::addParamsCommand(app);
    onex::cli::addDownloadCommand(app);
    onex::cli::addPlayCommand(app);
    onex::cli::addPingCommand(app);
    onex::cli::addCallCommand(app);
    onex::cli::addPlotCommand(app);
    onex::cli::addMeasureCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : onex::cli::kExitUsage;
    } catch (const onex::cli::UsageError& e) {
        std::fprintf(stderr, "onexrev-cli: %s\n", e.text.c_str());
        return onex::cli::kExitUsage;
    } catch (const onex::cli::ReportedFailure&) {
        return onex::cli::kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "onexrev-cli: %s\n", e.what());
        return onex::cli::kExitFailure;
    }
    return 0;
}
