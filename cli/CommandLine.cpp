#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <map>
#include <sstream>

#include "app/ProductConfig.h"
#include "cli/SimulatedDevice.h"
#include "device/DeviceType.h"
#include "web/FeedbackForm.h"

#ifndef QUOR_CLI_VERSION
#define QUOR_CLI_VERSION "unknown"
#endif

namespace quor::cli {

namespace {

std::string ExitStatusHelp() {
    std::ostringstream s;
    s << "Exit status:\n";
    for (const ExitStatusRow& row : ExitStatusTable())
        s << "  " << static_cast<int>(row.status) << "  " << row.name << ": " << row.meaning
          << "\n";
    return s.str();
}

std::string SimFaultHelp() {
    std::ostringstream s;
    s << "Simulator faults (--sim-fault, for tests):\n";
    for (const SimFaultRow& row : SimFaultTable())
        s << "  " << row.name << ": " << row.meaning << "\n";
    return s.str();
}

std::string Codes() {
    std::string list;
    for (const std::string& c : SimulatedCodes()) list += (list.empty() ? "" : " ") + c;
    return list;
}

}  // namespace

std::string VersionText() {
    const app::ProductConfig config = app::BuildProductConfig();
    std::string product = config.DigitalSensor()
                              ? "digital-sensor edition"
                              : std::string(DeviceTypeName(config.productType)) + " edition";
    return std::string("quorbsl ") + QUOR_CLI_VERSION + " (" + product + ")";
}

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
    ParsedCommandLine parsed;
    CLI::App cli{"QuorBSL firmware updater: updates a device on a serial port, or a simulated one.",
                 "quorbsl"};
    cli.footer(ExitStatusHelp());
    cli.require_subcommand(0, 1);
    bool version = false;
    cli.add_flag("--version", version, "Print the version and exit");

    UpdateOptions update;
    CLI::App* u = cli.add_subcommand("update", "Update one device (or several side by side)");
    u->add_option("--port", update.ports,
                  "Serial port: a kernel name (ttyUSB0) or a path; repeat for several devices");
    u->add_option("--simulate", update.simulate,
                  "Update a built-in simulated device of this type in virtual time (TRU by "
                  "default; " +
                      Codes() + ")")
        ->expected(0, 1)
        ->default_str("TRU")
        ->take_all();
    u->add_option("--firmware", update.firmware,
                  "TI-Text firmware file (the built-in image otherwise)")
        ->check(CLI::ExistingFile);
    u->add_option("--new-serial", update.newSerial, "Give the device this serial number");
    u->add_flag("--keep-data", update.keepData, "Don't erase the stored measurement data");
    u->add_flag("--yes,-y", update.yes, "Answer OK to every question");
    u->add_flag("--json", update.json, "One JSON object per line on standard output");
    u->add_flag("-v,--verbose", update.verbose,
                "Show the diagnostic log lines as they are written");
    u->add_option("--sim-fault", update.simFault, "Test option: a fault of the simulated device")
        ->group("Testing");
    // Set by the side-by-side parent for its children.
    u->add_flag("--port-folder", update.portFolder, "")->group("");
    u->footer(ExitStatusHelp() + "\n" + SimFaultHelp());

    PortsOptions ports;
    CLI::App* p =
        cli.add_subcommand("ports", "List the serial ports with their names and busy marks");
    p->add_flag("--all", ports.all,
                "Also try ttyS0 .. ttyS15 directly (Force Find All Comm Ports)");
    p->add_flag("--json", ports.json, "One JSON object per port");
    // A fixture tree instead of /sys and /dev, for tests.
    p->add_option("--sys-root", ports.paths.sysRoot, "")->group("");
    p->add_option("--dev-dir", ports.paths.devDir, "")->group("");

    ImageOptions image;
    CLI::App* i = cli.add_subcommand("image", "Show the built-in firmware image or a TI-Text file");
    i->add_option("FILE", image.file, "TI-Text firmware file")->check(CLI::ExistingFile);
    i->add_option("--dump", image.dump, "Write the image to this file as TI-Text");
    i->add_flag("--json", image.json, "The description as one JSON object");

    SimOptions sim;
    CLI::App* s =
        cli.add_subcommand("sim", "Serve a simulated device on a pseudo-terminal in real time");
    s->add_option("TYPE", sim.type, "Device type (" + Codes() + ")")->default_str("TRU");
    s->add_option("--sim-fault", sim.simFault, "A fault of the simulated device")->group("Testing");
    s->footer(SimFaultHelp());

    CheckVersionOptions checkVersion;
    CLI::App* c = cli.add_subcommand("check-version",
                                     "Ask the maker's host whether a newer firmware is published");
    c->add_flag("--yes,-y", checkVersion.yes,
                "Open a newer version's link in the browser without asking");

    FeedbackOptions feedback;
    std::string name, company, email, phone, to;
    CLI::App* f = cli.add_subcommand("feedback", "Send feedback to VOREN, with the error file");
    CLI::Option* nameOption = f->add_option("--name", name, "Your first and last name");
    CLI::Option* companyOption = f->add_option("--company", company, "Your company's name");
    CLI::Option* emailOption = f->add_option("--email", email, "Your email address");
    CLI::Option* phoneOption =
        f->add_option("--phone", phone, "Your telephone number (include area code)");
    CLI::Option* toOption =
        f->add_option("--to", to, "Send the feedback to your VOREN Group Representative");
    f->add_option(
        "--message", feedback.message,
        "The feedback (at most " + std::to_string(web::kDescriptionMaxChars) + " characters)");
    const std::map<std::string, int> types = {
        {"general", 0}, {"feature", 1}, {"bug", 2}, {"other", 3}};
    f->add_option("--type", feedback.type, "general (default), feature, bug or other")
        ->transform(CLI::CheckedTransformer(types, CLI::ignore_case).description(""))
        ->type_name("TYPE");
    const std::map<std::string, int> respondVia = {{"none", 0},
                                                   {"email", 1},
                                                   {"phone-morning", 2},
                                                   {"phone-midday", 3},
                                                   {"phone-afternoon", 4}};
    f->add_option("--respond-via", feedback.respondVia,
                  "none, email (default), phone-morning, phone-midday or phone-afternoon")
        ->transform(CLI::CheckedTransformer(respondVia, CLI::ignore_case).description(""))
        ->type_name("HOW");
    f->add_option("--file", feedback.file, "A file to send along (up to 8 MB)");
    f->footer("Options not given take the values the last feedback sent.\n");

    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help (of any subcommand) ends here as a success, errors as usage.
        std::ostringstream out, err;
        const int code = cli.exit(e, out, err);
        parsed.done = true;
        parsed.status = code == 0 ? ExitStatus::kFinished : ExitStatus::kUsage;
        parsed.output = code == 0 ? out.str() : err.str();
        return parsed;
    }

    if (version) {
        parsed.command = VersionRequest{};
    } else if (u->parsed()) {
        parsed.command = update;
    } else if (p->parsed()) {
        parsed.command = ports;
    } else if (i->parsed()) {
        parsed.command = image;
    } else if (s->parsed()) {
        parsed.command = sim;
    } else if (c->parsed()) {
        parsed.command = checkVersion;
    } else if (f->parsed()) {
        const std::pair<CLI::Option*, std::optional<std::string>*> given[] = {
            {nameOption, &feedback.name},
            {companyOption, &feedback.company},
            {emailOption, &feedback.email},
            {phoneOption, &feedback.phone},
            {toOption, &feedback.to}};
        const std::string* values[] = {&name, &company, &email, &phone, &to};
        for (std::size_t k = 0; k < std::size(given); ++k) {
            if (given[k].first->count() > 0) *given[k].second = *values[k];
        }
        parsed.command = feedback;
    } else {
        parsed.done = true;
        parsed.status = ExitStatus::kUsage;
        parsed.output = cli.help();
    }
    return parsed;
}

int RunCommandLine(int argc, const char* const* argv, const Streams& io) {
    ParsedCommandLine parsed = ParseCommandLine(argc, argv);
    if (parsed.done) {
        std::FILE* f = parsed.status == ExitStatus::kFinished ? io.out : io.err;
        std::fprintf(f, "%s", parsed.output.c_str());
        return static_cast<int>(parsed.status);
    }
    ExitStatus status = ExitStatus::kFinished;
    if (std::holds_alternative<VersionRequest>(parsed.command)) {
        std::fprintf(io.out, "%s\n", VersionText().c_str());
    } else if (auto* update = std::get_if<UpdateOptions>(&parsed.command)) {
        status = RunUpdate(*update, io);
    } else if (auto* ports = std::get_if<PortsOptions>(&parsed.command)) {
        status = RunPorts(*ports, io);
    } else if (auto* image = std::get_if<ImageOptions>(&parsed.command)) {
        status = RunImage(*image, io);
    } else if (auto* sim = std::get_if<SimOptions>(&parsed.command)) {
        status = RunSim(*sim, io);
    } else if (auto* check = std::get_if<CheckVersionOptions>(&parsed.command)) {
        status = RunCheckVersion(*check, io);
    } else if (auto* feedback = std::get_if<FeedbackOptions>(&parsed.command)) {
        status = RunFeedback(*feedback, io);
    }
    return static_cast<int>(status);
}

}  // namespace quor::cli
