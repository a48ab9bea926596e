// The demo movie and its decoded frames for the end-to-end tests: made once with qztool and
// kept in the scratch folder, and compared with what the screen shows by PSNR.
#pragma once

#include <string>
#include <vector>

namespace xtest {

// The demo's picture size.
inline constexpr int movieWidth = 320;
inline constexpr int movieHeight = 240;

using Picture = std::vector<unsigned char>; // RGB triples, movieWidth x movieHeight

// The demo movie qztool writes, kept while it is newer than qztool; empty when it cannot be made.
// kind is "" for the DCT demo, "krt" or "dor" for the others.
std::string demoMovie(const std::string& kind = "");
// The movie of that kind with its stream headers and sound chunks left out, so that it plays as
// fast as it decodes, and the video frames of type leftOutType too when it is not 0; empty when
// it cannot be made.
std::string silentDemoMovie(const std::string& kind = "", long leftOutType = 0);

struct Match {
    int frame = -1;
    double psnr = 0;
};

// The decoded frames of a movie as RGB, from qztool's xrgb8888 export.
class Frames {
  public:
    bool load(const std::string& movie, int gamma);
    // The frame the picture is closest to.
    Match best(const Picture& shot) const;
    // How close two movie-sized pictures are.
    static double psnrOf(const Picture& a, const Picture& b);
    // Frame n's RGB triples.
    Picture picture(int n) const;

    int count = 0;

  private:
    Picture rgb;
};

} // namespace xtest
