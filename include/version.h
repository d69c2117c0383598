// Version record of the program, shown as "Tesk <status> <style>(<date>)".
#ifndef TESK_VERSION_H
#define TESK_VERSION_H

namespace AutoVersion {
inline constexpr char STATUS[] = "alpha";
inline constexpr char UBUNTU_VERSION_STYLE[] = "18.11";
inline constexpr char DATE[] = "25";
}  // namespace AutoVersion

#endif
