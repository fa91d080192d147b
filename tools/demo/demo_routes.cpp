// The demonstration routes: drives of a few tens of kilometres through
// stations, parks and along the main avenues of Tokyo, Nagoya and Osaka
// (WGS84 degrees, good to about a hundred metres: the car follows a smooth
// path through them, not the streets themselves).
#include "tools/demo/recorder_simulator.h"

namespace {

constexpr RoadClass U = ROAD_URBAN;
constexpr RoadClass E = ROAD_EXPRESSWAY;

// Marunouchi, Hibiya, Roppongi-dori to Shibuya, Meiji-dori to Shinjuku,
// parked at Shinjuku Gyoen, then the Shinjuku expressway back into the
// centre and through Ginza to Tokyo Station.
const RouteWaypoint TOKYO_WEST[] = {
    {35.6812, 139.7649, U, false, "Tokyo Station"},
    {35.6785, 139.7628, U, false, nullptr},
    {35.6745, 139.7590, U, false, "Hibiya Park"},
    {35.6740, 139.7500, U, false, "Kasumigaseki"},
    {35.6700, 139.7490, U, false, "Toranomon"},
    {35.6660, 139.7400, U, false, nullptr},
    {35.6628, 139.7314, U, false, "Roppongi"},
    {35.6590, 139.7230, U, false, "Nishi-Azabu"},
    {35.6595, 139.7110, U, false, nullptr},
    {35.6580, 139.7016, U, false, "Shibuya Station"},
    {35.6640, 139.7045, U, false, nullptr},
    {35.6690, 139.7060, U, false, "Jingumae"},
    {35.6770, 139.7080, U, false, nullptr},
    {35.6810, 139.7070, U, false, "Sendagaya"},
    {35.6852, 139.7101, U, true, "Shinjuku Gyoen"},
    {35.6880, 139.7020, U, false, "Shinjuku"},
    {35.6830, 139.6930, U, false, nullptr},
    {35.6806, 139.6868, E, false, "Hatsudai"},
    {35.6835, 139.7010, E, false, nullptr},
    {35.6790, 139.7190, E, false, "Gaien"},
    {35.6805, 139.7320, E, false, nullptr},
    {35.6790, 139.7440, E, false, "Miyakezaka"},
    {35.6735, 139.7505, U, false, "Kasumigaseki"},
    {35.6717, 139.7590, U, false, nullptr},
    {35.6717, 139.7650, U, false, "Ginza"},
    {35.6770, 139.7700, U, false, "Kyobashi"},
    {35.6812, 139.7671, U, false, "Tokyo Station"},
};

// Ueno, Asakusa, across the Sumida to Ryogoku, Nihonbashi and Ginza, out
// over Harumi to Odaiba, parked at the seaside park, back over the Rainbow
// Bridge, past Tokyo Tower to Tokyo Station.
const RouteWaypoint TOKYO_BAY[] = {
    {35.7138, 139.7770, U, false, "Ueno Station"},
    {35.7115, 139.7830, U, false, "Inaricho"},
    {35.7110, 139.7963, U, false, "Asakusa Kaminarimon"},
    {35.7080, 139.7965, U, false, nullptr},
    {35.7030, 139.7910, U, false, "Kuramae"},
    {35.6969, 139.7934, U, false, "Ryogoku Kokugikan"},
    {35.6885, 139.7880, U, false, "Hamacho"},
    {35.6840, 139.7740, U, false, "Nihonbashi"},
    {35.6770, 139.7700, U, false, "Kyobashi"},
    {35.6717, 139.7650, U, false, "Ginza"},
    {35.6655, 139.7705, U, false, "Tsukiji"},
    {35.6590, 139.7770, U, false, "Kachidoki"},
    {35.6530, 139.7820, U, false, "Harumi"},
    {35.6460, 139.7900, U, false, "Toyosu"},
    {35.6340, 139.7930, U, false, "Ariake"},
    {35.6300, 139.7820, U, false, nullptr},
    {35.6295, 139.7750, U, true, "Odaiba Seaside Park"},
    {35.6290, 139.7700, E, false, "Daiba"},
    {35.6365, 139.7631, E, false, "Rainbow Bridge"},
    {35.6410, 139.7560, U, false, "Shibaura"},
    {35.6550, 139.7570, U, false, "Hamamatsucho"},
    {35.6586, 139.7470, U, false, "Tokyo Tower"},
    {35.6630, 139.7440, U, false, "Kamiyacho"},
    {35.6700, 139.7490, U, false, "Toranomon"},
    {35.6745, 139.7590, U, false, "Hibiya Park"},
    {35.6812, 139.7649, U, false, "Tokyo Station"},
};

// Nagoya Station, Sakura-dori, down Fushimi-dori and along Hirokoji-dori
// through Fushimi to Sakae, up Hisaya-odori to the city hall and Nagoya
// Castle, Yaba-cho, Osu Kannon, parked at Tsurumai Park, Kanayama, Atsuta
// Shrine and the expressway down to the port.
const RouteWaypoint NAGOYA_CENTRE[] = {
    {35.1709, 136.8815, U, false, "Nagoya Station"},
    {35.1730, 136.8890, U, false, "Kokusai Center"},
    {35.1719, 136.8973, U, false, nullptr},
    {35.1684, 136.8976, U, false, "Fushimi"},
    {35.1685, 136.9021, U, false, nullptr},
    {35.1688, 136.9035, U, false, nullptr},
    {35.1690, 136.9084, U, false, "Sakae"},
    {35.1737, 136.9079, U, false, "Hisaya-odori"},
    {35.1810, 136.9060, U, false, "Shiyakusho"},
    {35.1856, 136.8991, U, false, "Nagoya Castle"},
    {35.1770, 136.8990, U, false, "Marunouchi"},
    {35.1620, 136.9070, U, false, "Yaba-cho"},
    {35.1594, 136.8973, U, false, "Osu Kannon"},
    {35.1580, 136.9050, U, false, "Kamimaezu"},
    {35.1560, 136.9190, U, true, "Tsurumai Park"},
    {35.1480, 136.9080, U, false, nullptr},
    {35.1430, 136.9010, U, false, "Kanayama"},
    {35.1279, 136.9086, U, false, "Atsuta Shrine"},
    {35.1150, 136.9040, E, false, "Horita"},
    {35.1060, 136.8900, E, false, "Rokuban"},
    {35.0950, 136.8830, U, false, nullptr},
    {35.0908, 136.8785, U, false, "Nagoya Port"},
};

// Nagoya Station out along Route 22 to Ichinomiya, the Meishin expressway
// over the Kiso river, parked at Anpachi, and on to Ogaki Castle.
const RouteWaypoint NAGOYA_MEISHIN[] = {
    {35.1709, 136.8815, U, false, "Nagoya Station"},
    {35.1800, 136.8830, U, false, nullptr},
    {35.2020, 136.8700, U, false, "Shonai River"},
    {35.2200, 136.8480, U, false, "Kiyosu"},
    {35.2600, 136.8250, U, false, "Inazawa"},
    {35.2890, 136.8150, E, false, "Ichinomiya IC"},
    {35.3130, 136.7600, E, false, "Kiso River"},
    {35.3320, 136.7050, U, false, "Gifu-Hashima IC"},
    {35.3330, 136.6900, U, false, nullptr},
    {35.3317, 136.6711, U, true, "Anpachi"},
    {35.3450, 136.6450, U, false, nullptr},
    {35.3620, 136.6130, U, false, "Ogaki Castle"},
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
    Route("Tokyo", TOKYO_WEST),       Route("Tokyo", TOKYO_BAY),          Route("Nagoya", NAGOYA_CENTRE),
    Route("Nagoya", NAGOYA_MEISHIN), Route("Osaka", OSAKA_MIDOSUJI),
};
