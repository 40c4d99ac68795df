#include "core/genrecatalogue.h"

namespace genre {

const std::array<std::string_view, kGenreCount> kGenreNames = {
    // 1 to 10
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip Hop", "Jazz",
    "Metal",
    // 11 to 20
    "New Age", "Oldies", "Other", "Pop", "R&b", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    // 21 to 30
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient",
    "Trip-Hop", "Vocal", "Jazz Funk",
    // 31 to 40
    "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip",
    "Gospel", "Noise",
    // 41 to 50
    "Alternative Rock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic",
    // 51 to 60
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta",
    // 61 to 70
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes",
    // 71 to 80
    "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical",
    "Rock & Roll", "Hard Rock",
    // 81 to 90
    "Folk", "Folk/Rock", "National Folk", "Swing", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde",
    // 91 to 100
    "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    // 101 to 110
    "Speech", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam",
    // 111 to 120
    "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rythmic Soul", "Freestyle",
    "Duet", "Punk Rock",
    // 121 to 130
    "Drum Solo", "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club House",
    "Hardcore", "Terror", "Indie",
    // 131 to 140
    "BritPop", "NegerPunk", "PolskPunk", "Beat", "Christian Gangsta", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock",
    // 141 to 146
    "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop", "SynthPop"};

} // namespace genre
