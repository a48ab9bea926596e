// qztool: inspects, exports and authors movie files.
#include <CLI/CLI.hpp>
#include <iostream>

#include "tools/audio_export.h"
#include "tools/demo_movie.h"
#include "tools/movie_info.h"

int main(int argc, char** argv) {
    CLI::App app{"qztool: inspect, export and author QZ/QZ2/KRT/BSX movie files", "qztool"};
    app.require_subcommand(1);

    std::string infoMovie;
    bool infoJson = false;
    bool infoChunks = false;
    CLI::App* info =
        app.add_subcommand("info", "Describe a movie: tracks, chunks, video, duration");
    info->add_option("MOVIE", infoMovie, "movie file")->required();
    info->add_flag("--json", infoJson, "print the report as JSON");
    info->add_flag("--chunks", infoChunks, "list every chunk: offset, id, size, kind, type");

    std::string audioMovie;
    int audioTrackNumber = 1;
    std::string wavPath;
    std::string rawPath;
    CLI::App* audio =
        app.add_subcommand("audio", "Decode one audio track to 16-bit stereo WAV or raw PCM");
    audio->add_option("MOVIE", audioMovie, "movie file")->required();
    audio->add_option("--track", audioTrackNumber, "track number, from 1 (default 1)");
    CLI::Option* wav = audio->add_option("-o,--output", wavPath, "write a WAV file");
    CLI::Option* raw =
        audio->add_option("--raw", rawPath, "write raw signed 16-bit little-endian stereo");
    wav->excludes(raw);
    raw->excludes(wav);

    std::string demoPath;
    CLI::App* demo = app.add_subcommand("demo", "Write a demo movie made by our own encoder");
    demo->add_option("OUT", demoPath, "movie file to write")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 1;
    }

    if (*info) return qztool::runInfo(infoMovie, infoJson, infoChunks, std::cout, std::cerr);
    if (*audio) {
        if (wavPath.empty() == rawPath.empty()) {
            std::cerr << "qztool audio: give one output, -o OUT.wav or --raw OUT.pcm\n";
            return 1;
        }
        return qztool::runAudio(audioMovie, audioTrackNumber, wavPath, rawPath, std::cout,
                                std::cerr);
    }
    if (*demo) return qztool::runDemo(demoPath, std::cout, std::cerr);
    return 1;
}
