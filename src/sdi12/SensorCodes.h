#pragma once
// The digital sensor types this bridge treats differently, as the character
// codes the sensors report (a sensor's type is the code of its letter, or
// the number it reports), and the family numbers of the sensor-type menu.
// The device layer keeps the full type table with the display names; the
// bridge sits below it and needs only these codes.

namespace quor::sdi12 {

inline constexpr int kTypeNone = 0;
inline constexpr int kTypeInvalid = 255;  // never written to a sensor

inline constexpr int kType7QA = 'z';
inline constexpr int kType7QM = 'x';
inline constexpr int kTypeWPX4 = 'y';
inline constexpr int kTypeWPX8 = 'l';
inline constexpr int kTypeSOLRA31 = 'k';
inline constexpr int kTypeHR4 = 'w';
inline constexpr int kTypeSOLRA13 = 'h';
inline constexpr int kTypeSOLRA14 = 'g';
inline constexpr int kTypeZEPRA51 = ']';
inline constexpr int kTypeRNQ5 = '^';
inline constexpr int kTypeP7 = 'u';
inline constexpr int kTypeWLD = 't';
inline constexpr int kTypeHVKN = '}';
inline constexpr int kTypeHVKE = 127;

// Groups of sensors that one firmware serves (numbers above any character).
inline constexpr int kFamilyNDV = 260;
inline constexpr int kFamilyWPX = 261;
inline constexpr int kFamilyWLD = 262;
inline constexpr int kFamilyHTx = 263;
inline constexpr int kFamilySOLRA1x = 264;

}  // namespace quor::sdi12
