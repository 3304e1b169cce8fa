#include "app/AppControls.h"

namespace quor::app {

namespace {

struct ControlRow {
    const char* name;
    ControlState initial;
};

constexpr bool T = true;
constexpr bool F = false;

// In the order of Control.
// clang-format off
constexpr ControlRow kControls[kControlCount] = {
    {"userText1",                {"This utility updates instrument firmware to", T, F, T}},
    {"userText2",                {"Instrument x.yy", T, F, T}},
    {"lblConnect",               {"Connect instrument to computer comm port.", T, F, T}},
    {"commLabel",                {"Use computer comm port:", T, F, T}},
    {"cbCommPort",               {"", T, F, T}},
    {"statusText",               {"", T, F, F}},
    {"statusBar",                {"", T, F, T}},
    {"newSN",                    {"New Serial Number", T, F, F}},
    {"newSNstr",                 {"", T, F, F}},
    {"btnStart",                 {"Start", T, F, T}},
    {"btnClose",                 {"Close", T, F, T}},
    {"mnuOpenFirmwareFile",      {"&Open Firmware File...", F, F, T}},
    {"mnuUpdateFirmware",        {"&Update Firmware", T, F, T}},
    {"mnuDumpFirmwareImage",     {"&Dump Firmware Image...", T, F, F}},
    {"mnuExit",                  {"&Exit", T, F, T}},
    {"mnuVerboseErrorFile",      {"&Verbose Error File", F, T, T}},
    {"mnuForceFindAllCommPorts", {"Force Find All &Comm Ports", T, F, T}},
    {"mnuDontEraseData",         {"&Don't Erase Data", T, F, F}},
    {"mnuReplaceSerialNumber",   {"&Replace Serial Number", T, F, F}},
    {"mnuSensorSeparator",       {"-", T, F, F}},
    {"mnuSensorHeading",         {"Set Digital Sensor to:", F, F, F}},
    {"mnuSensor7QA",             {"7QA", T, F, F}},
    {"mnuSensor7QM",             {"7QM", T, F, F}},
    {"mnuSensorHR4",             {"HR4", T, F, F}},
    {"mnuSensorKR4",             {"KR4", T, F, F}},
    {"mnuSensorWPX4",            {"WPX-4 && WPX-8", T, F, F}},
    {"mnuSensorP7DG",            {"P7DG", T, F, F}},
    {"mnuSensorWLD",             {"WLD Family", T, F, F}},
    {"mnuSensorQC5",             {"QC-5", T, F, F}},
    {"mnuSensorQC5F",            {"QC-5F", T, F, F}},
    {"mnuSensorHT6",             {"HT-6", T, F, F}},
    {"mnuSensorHT7",             {"HT-7", T, F, F}},
    {"mnuSensorNDV",             {"NDV Family", T, F, F}},
    {"mnuSensorWN3",             {"WN-3", T, F, F}},
    {"mnuSensorRNQ5",            {"RNQ-5", T, F, F}},
    {"mnuSensorZEPRA51",         {"ZEPRA 51", T, F, F}},
    {"mnuSensorSOLRA1X",         {"SOLRA 1x Family", T, F, F}},
    {"mnuHelp",                  {"&Help", T, F, T}},
    {"mnuSendFeedback",          {"Send Feedback to VOREN...", T, F, T}},
    {"mnuCheckNewerVersion",     {"Check for Newer Firmware Version", T, F, T}},
    {"mnuAbout",                 {"&About...", T, F, T}},
};
// clang-format on

const ControlRow* RowOf(Control control) {
    const int i = static_cast<int>(control);
    return i >= 0 && i < kControlCount ? &kControls[i] : nullptr;
}

}  // namespace

const char* ControlName(Control control) {
    const ControlRow* row = RowOf(control);
    return row ? row->name : "?";
}

ControlState InitialControlState(Control control) {
    const ControlRow* row = RowOf(control);
    return row ? row->initial : ControlState{"", false, false, false};
}

}  // namespace quor::app
