#include "app/SensorMenu.h"

namespace quor::app {

const SensorMenuItem kSensorMenu[kSensorItemCount] = {
    {Control::mnuSensor7QA, 122, "/versionfinder/7QA-Firmware.txt", true},
    {Control::mnuSensor7QM, 120, "/versionfinder/7QM-Firmware.txt", true},
    {Control::mnuSensorHR4, 119, "/versionfinder/HR4-Firmware.txt", true},
    {Control::mnuSensorKR4, 118, "/versionfinder/KR4-Firmware.txt", true},
    {Control::mnuSensorWPX4, 261, "/versionfinder/WPX4-Firmware.txt", true},
    {Control::mnuSensorP7DG, 117, "/versionfinder/P7DG-Firmware.txt", true},
    {Control::mnuSensorWLD, 262, "/versionfinder/WLD-Firmware.txt", true},
    {Control::mnuSensorQC5, 113, "/versionfinder/QC5-Firmware.txt", true},
    {Control::mnuSensorQC5F, 109, "/versionfinder/QC5-Firmware.txt", true},
    {Control::mnuSensorHT6, 112, "/versionfinder/HT6-Firmware.txt", true},
    {Control::mnuSensorHT7, 102, "/versionfinder/HT7-Firmware.txt", false},
    {Control::mnuSensorNDV, 260, "/versionfinder/NDV-Firmware.txt", true},
    {Control::mnuSensorWN3, 95, "/versionfinder/WN3-Firmware.txt", false},
    {Control::mnuSensorRNQ5, 94, "/versionfinder/RNQ5-Firmware.txt", true},
    {Control::mnuSensorZEPRA51, 93, "/versionfinder/ZEPRA51-Firmware.txt", true},
    {Control::mnuSensorSOLRA1X, 264, "/versionfinder/SOLRA1X-Firmware.txt", true},
};

const SensorMenuItem* SensorMenuItemFor(SensorType code) {
    for (const SensorMenuItem& m : kSensorMenu) {
        if (m.code == code) return &m;
    }
    return nullptr;
}

const SensorMenuItem* SensorMenuItemFor(Control item) {
    for (const SensorMenuItem& m : kSensorMenu) {
        if (m.item == item) return &m;
    }
    return nullptr;
}

}  // namespace quor::app
