#pragma once

#include <array>
#include <string_view>

// Every address the application uses, in one place.
namespace tallowmere::addresses {

// The onboarding web service's public host: workspace sign-ins redirect back to it.
inline constexpr std::string_view onboardingServiceHost = "onboarding.tallowmere.com";
// The development redirect target that is also accepted for workspace sign-ins.
inline constexpr std::string_view developmentRedirectHost = "localhost";
inline constexpr int developmentRedirectPort = 3000;

// The application's releases page, opened by "check for updates".
inline constexpr std::string_view releasesPage = "https://tallowmere.com/mac/releases";

// Workspace providers' authorisation hosts.
inline constexpr std::string_view googleAccountsHost = "accounts.google.com";
inline constexpr std::array<std::string_view, 10> zohoAccountsHosts = {
    "accounts.zoho.com",     // global
    "accounts.zoho.eu",      // Europe
    "accounts.zoho.in",      // India
    "accounts.zoho.com.au",  // Australia
    "accounts.zoho.jp",      // Japan
    "accounts.zohocloud.ca", // Canada
    "accounts.zoho.com.cn",  // China
    "accounts.zoho.ae",      // United Arab Emirates
    "accounts.zoho.sa",      // Saudi Arabia
    "accounts.zoho.sg",      // Singapore
};

} // namespace tallowmere::addresses
