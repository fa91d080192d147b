// The demonstration routes: drives of a few tens of kilometres through
// stations, parks and along the main avenues of Tokyo, Nagoya and Osaka
// (WGS84 degrees, good to about a hundred metres: the car follows a smooth
// path through them, not the streets themselves).
#include "tools/demo/recorder_simulator.h"

namespace {

constexpr RoadClass U = ROAD_URBAN;
constexpr RoadClass E = ROAD_EXPRESSWAY;

// Marunouchi, Hibiya, Roppongi-dori to Shibuya, Meiji-dori to Shinjuku,
// parked by Shinjuku Gyoen, then the Shinjuku expressway back into the
// centre and through Ginza to Tokyo Station.
const RouteWaypoint TOKYO_WEST[] = {
    {35.6818, 139.7619, U, false, "Tokyo Station"},
    {35.6789, 139.7610, U, false, nullptr},
    {35.6750, 139.7597, U, false, "Hibiya Park"},
    {35.6737, 139.7510, U, false, "Kasumigaseki"},
    {35.6700, 139.7490, U, false, "Toranomon"},
    {35.6670, 139.7390, U, false, nullptr},
    {35.6628, 139.7314, U, false, "Roppongi"},
    {35.6596, 139.7229, U, false, "Nishi-Azabu"},
    {35.6586, 139.7111, U, false, nullptr},
    {35.6580, 139.7016, U, false, "Shibuya Station"},
    {35.6650, 139.7027, U, false, nullptr},
    {35.6690, 139.7060, U, false, "Jingumae"},
    {35.6767, 139.7062, U, false, nullptr},
    {35.6810, 139.7070, U, false, "Sendagaya"},
    {35.6884, 139.7111, U, true, "Shinjuku Gyoen"},
    {35.6877, 139.7029, U, false, "Shinjuku"},
    {35.6825, 139.6920, U, false, nullptr},
    {35.6811, 139.6863, E, false, "Hatsudai"},
    {35.6841, 139.7037, E, false, nullptr},
    {35.6792, 139.7196, E, false, "Gaien"},
    {35.6803, 139.7316, E, false, nullptr},
    {35.6794, 139.7439, E, false, "Miyakezaka"},
    {35.6735, 139.7505, U, false, "Kasumigaseki"},
    {35.6712, 139.7603, U, false, nullptr},
    {35.6717, 139.7650, U, false, "Ginza"},
    {35.6770, 139.7700, U, false, "Kyobashi"},
    {35.6805, 139.7693, U, false, "Tokyo Station"},
};

// Ueno, Asakusa, across the Sumida to Ryogoku, Nihonbashi and Ginza, out
// over Kachidoki and Toyosu to Odaiba, parked at the seaside park, back over the Rainbow
// Bridge, past Tokyo Tower to Tokyo Station.
const RouteWaypoint TOKYO_BAY[] = {
    {35.7130, 139.7785, U, false, "Ueno Station"},
    {35.7105, 139.7974, U, false, "Asakusa Kaminarimon"},
    {35.7084, 139.7958, U, false, nullptr},
    {35.7030, 139.7910, U, false, "Kuramae"},
    {35.6978, 139.7919, U, false, "Ryogoku Kokugikan"},
    {35.6888, 139.7890, U, false, "Hamacho"},
    {35.6840, 139.7740, U, false, "Nihonbashi"},
    {35.6770, 139.7700, U, false, "Kyobashi"},
    {35.6717, 139.7650, U, false, "Ginza"},
    {35.6659, 139.7701, U, false, "Tsukiji"},
    {35.6592, 139.7774, U, false, "Kachidoki"},
    {35.6521, 139.7934, U, false, "Toyosu"},
    {35.6343, 139.7927, U, false, "Ariake"},
    {35.6300, 139.7820, U, false, nullptr},
    {35.6277, 139.7768, U, true, "Odaiba Seaside Park"},
    {35.6257, 139.7731, E, false, "Daiba"},
    {35.6369, 139.7633, E, false, "Rainbow Bridge"},
    {35.6415, 139.7544, U, false, "Shibaura"},
    {35.6535, 139.7570, U, false, "Hamamatsucho"},
    {35.6586, 139.7470, U, false, "Tokyo Tower"},
    {35.6627, 139.7447, U, false, "Kamiyacho"},
    {35.6700, 139.7490, U, false, "Toranomon"},
    {35.6750, 139.7597, U, false, "Hibiya Park"},
    {35.6818, 139.7619, U, false, "Tokyo Station"},
};

// Central Nagoya, where the map has its streets: east along Hirokoji-dori
// to Sakae, up Hisaya-odori, round by Oasis 21 (parked), back west along
// Nishiki-dori to Hirokoji-dori.
const RouteWaypoint NAGOYA_CENTRE[] = {
    {35.1684, 136.9032, U, false, "Hirokoji-dori"},
    {35.1688, 136.9088, U, false, "Sakae"},
    {35.1712, 136.9090, U, false, nullptr},
    {35.1735, 136.9090, U, false, "Hisaya-odori"},
    {35.1736, 136.9102, U, false, nullptr},
    {35.1716, 136.9102, U, false, nullptr},
    {35.1699, 136.9102, U, true, "Oasis 21"},
    {35.1696, 136.9074, U, false, "Nishiki-dori"},
    {35.1694, 136.9036, U, false, nullptr},
    {35.1684, 136.9032, U, false, "Hirokoji-dori"},
};

// Umeda down Midosuji to Namba, Shinsekai and Tennoji, up Tanimachi-suji to
// Osaka Castle Park (parked), west along Chuo-odori and the Hanshin
// expressway to the aquarium at Tempozan.
const RouteWaypoint OSAKA_MIDOSUJI[] = {
    {34.7025, 135.4959, U, false, "Osaka Station"},
    {34.6925, 135.5015, U, false, "Yodoyabashi"},
    {34.6820, 135.5005, U, false, "Honmachi"},
    {34.6750, 135.5010, U, false, "Shinsaibashi"},
    {34.6661, 135.5011, U, false, "Namba"},
    {34.6525, 135.5063, U, false, "Tsutenkaku"},
    {34.6465, 135.5133, U, false, "Tennoji"},
    {34.6650, 135.5170, U, false, "Tanimachi 9-chome"},
    {34.6780, 135.5200, U, false, nullptr},
    {34.6835, 135.5230, U, true, "Osaka Castle Park"},
    {34.6820, 135.5100, U, false, "Chuo-odori"},
    {34.6820, 135.4870, E, false, "Awaza"},
    {34.6770, 135.4700, E, false, "Kujo"},
    {34.6680, 135.4600, E, false, "Bentencho"},
    {34.6560, 135.4350, U, false, "Tempozan"},
    {34.6545, 135.4290, U, false, "Kaiyukan"},
};

template <int N>
constexpr DriveRoute Route(const char* city, const RouteWaypoint (&waypoints)[N]) {
  return {city, waypoints, N};
}

}  // namespace

const DriveRoute DEMO_ROUTES[DEMO_ROUTE_COUNT] = {
    Route("Tokyo", TOKYO_WEST),
    Route("Tokyo", TOKYO_BAY),
    Route("Nagoya", NAGOYA_CENTRE),
    Route("Osaka", OSAKA_MIDOSUJI),
};
