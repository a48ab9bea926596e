// qztool: inspects, exports and authors movie files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include "tools/audio_export.h"
#include "tools/demo_dor.h"
#include "tools/demo_krt.h"
#include "tools/demo_movie.h"
#if QZ_HAVE_ENCODE
#include "tools/encode_command.h"
#endif
#include "tools/file_checks.h"
#include "tools/frame_export.h"
#include "tools/movie_info.h"

int main(int argc, char** argv) {
    CLI::App app{"qztool: inspect, export and author QZ/QZ2/KRT/BSX movie files", "qztool"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "qztool " QZ_VERSION);

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

    qztool::FrameExportOptions framesOptions;
    CLI::App* frames = app.add_subcommand(
        "frames", "Decode every video frame with the player's decoders to raw pixels, Y4M or PNG");
    frames->add_option("MOVIE", framesOptions.movie, "movie file")->required();
    frames
        ->add_option("--pixel-format", framesOptions.pixelFormat,
                     "display pixel format: pal8, rgb555, rgb565, xrgb8888 (default, shows every "
                     "frame type) or yuy2")
        ->check(CLI::IsMember({"pal8", "rgb555", "rgb565", "xrgb8888", "yuy2"}));
    CLI::Option* framesRaw = frames->add_option(
        "--raw", framesOptions.rawPath, "write the frames' pixels as they are, one after another");
    CLI::Option* framesY4m =
        frames->add_option("--y4m", framesOptions.y4mPath, "write a YUV4MPEG2 stream");
    CLI::Option* framesPng = frames->add_option(
        "--png", framesOptions.pngPattern, "write one PNG a frame, numbered from 1 (out%04d.png)");
    framesRaw->excludes(framesY4m)->excludes(framesPng);
    framesY4m->excludes(framesRaw)->excludes(framesPng);
    framesPng->excludes(framesRaw)->excludes(framesY4m);
    frames->add_option("--gamma", framesOptions.gamma, "brightness in percent (default 100)");
    frames->add_option("--track", framesOptions.track, "audio track, from 1 (default 1)");
    frames
        ->add_option("--threads", framesOptions.threads,
                     "threads that decode, convert Y4M frames and write PNG files, 1 to 64 "
                     "(default: one a core); the output is the same")
        ->check(CLI::Range(1, 64));
    frames->add_flag("--y4m-420", framesOptions.y4m420,
                     "write the Y4M stream with 4:2:0 chroma (C420jpeg, or C420mpeg2 from yuy2)");
    frames->add_flag("--allow-black", framesOptions.allowBlack,
                     "write frames the pixel format cannot show black instead of failing");

    std::string demoPath;
    CLI::App* demo = app.add_subcommand("demo", "Write a demo movie made by our own encoder");
    demo->add_option("OUT", demoPath, "movie file to write")->required();
    bool demoKrt = false;
    bool demoDor = false;
    demo->add_flag("--krt", demoKrt, "write a KRT movie (palettised; plays with -8)");
    demo->add_flag("--dor", demoDor, "write a DOR movie (key, motion and non-reference frames)");

#if QZ_HAVE_ENCODE
    qztool::EncodeOptions encodeOptions;
    CLI::App* encode = app.add_subcommand(
        "encode", "Author a movie from PNG pictures, a Y4M stream or a movie, and sound files");
    encode
        ->add_option("PICTURES", encodeOptions.pictures,
                     "a %d pattern of PNG files, PNG files, a .y4m file, - (Y4M on standard "
                     "input) or a movie")
        ->required();
    encode->add_option("-o,--output", encodeOptions.output, "movie file to write")->required();
    encode->add_option("--video", encodeOptions.video, "krt, type3, type4 (default) or dor")
        ->check(CLI::IsMember({"krt", "type3", "type4", "dor"}));
    CLI::Option* encodeQuality =
        encode->add_option("--quality", encodeOptions.quality, "0 to 100 (default 75)");
    CLI::Option* encodeSize = encode->add_option(
        "--size", encodeOptions.size, "bytes the whole movie should take (within about 5 %)");
    CLI::Option* encodeBitrate = encode->add_option(
        "--bitrate", encodeOptions.bitrate, "kilobits a second the whole movie should take");
    encodeQuality->excludes(encodeSize)->excludes(encodeBitrate);
    encodeSize->excludes(encodeQuality)->excludes(encodeBitrate);
    encodeBitrate->excludes(encodeQuality)->excludes(encodeSize);
    encode->add_option("--fps", encodeOptions.fps,
                       "pictures a second (default: the input's, else 15)");
    encode->add_option("--audio", encodeOptions.audio,
                       "a sound file or the word silence: one track each time it is given");
    encode
        ->add_option("--audio-codec", encodeOptions.audioCodec,
                     "pcm, codec7 (block ADPCM) or codec10 (IMA ADPCM, default)")
        ->check(CLI::IsMember({"pcm", "codec7", "codec10"}));
    encode->add_option("--loop-from", encodeOptions.loopFrom,
                       "seconds where a looping player's later laps start (0)");
    encode->add_flag("--verify", encodeOptions.verify,
                     "decode what was written and print the PSNR of the video and every track");
    encode->add_option("--key-interval", encodeOptions.keyInterval,
                       "KRT and DOR: a key frame every N frames");
    encode->add_option("--search-range", encodeOptions.searchRange,
                       "DOR: motion search range in pixels, 0 to 16 (default 16)");
    encode->add_flag("--non-reference", encodeOptions.nonReference,
                     "DOR: every other motion frame a non-reference frame");
    encode->add_option("--threads", encodeOptions.threads,
                       "threads for type 3 and type 4 (default: one a core); the file is the same");
#endif

    // A first word that is no option and no command is a mistyped command: named as such.
    if (argc > 1 && argv[1][0] != '-') {
        std::string names;
        bool known = false;
        for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
            known = known || command->get_name() == argv[1];
            names += (names.empty() ? "" : ", ") + command->get_name();
        }
        if (!known) {
            std::cerr << "qztool: no command '" << argv[1] << "' (commands: " << names << ")\n";
            return 1;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "qztool: " << e.what() << " (see qztool --help)\n";
        return 1;
    }

    // The movie and the outputs are checked before anything is read or written.
    std::string message;
    auto refuse = [&] {
        std::cerr << "qztool: " << message << "\n";
        return 1;
    };
    if (*info) {
        if (!qztool::checkInputFile(infoMovie, message)) return refuse();
        return qztool::runInfo(infoMovie, infoJson, infoChunks, std::cout, std::cerr);
    }
    if (*audio) {
        if (wavPath.empty() == rawPath.empty()) {
            std::cerr << "qztool: give one output, -o OUT.wav or --raw OUT.pcm\n";
            return 1;
        }
        if (!qztool::checkInputFile(audioMovie, message) ||
            !qztool::checkOutputSparesInput(audioMovie, wavPath.empty() ? rawPath : wavPath,
                                            message))
            return refuse();
        return qztool::runAudio(audioMovie, audioTrackNumber, wavPath, rawPath,
                                isatty(STDERR_FILENO) != 0, std::cout, std::cerr);
    }
    if (*frames) {
        if (!qztool::checkInputFile(framesOptions.movie, message)) return refuse();
        for (const std::string* output : {&framesOptions.rawPath, &framesOptions.y4mPath}) {
            if (!output->empty() &&
                !qztool::checkOutputSparesInput(framesOptions.movie, *output, message))
                return refuse();
        }
        framesOptions.progress = isatty(STDERR_FILENO) != 0;
        return qztool::runFrames(framesOptions, std::cout, std::cerr);
    }
#if QZ_HAVE_ENCODE
    if (*encode) {
        encodeOptions.progress = isatty(STDERR_FILENO) != 0;
        return qztool::runEncode(encodeOptions, std::cout, std::cerr);
    }
#endif
    if (*demo && (demoKrt || demoDor)) {
        if (demoKrt && demoDor) {
            std::cerr << "qztool: give --krt or --dor, not both\n";
            return 1;
        }
        const bool written = demoKrt ? qztool::writeKrtDemoMovie(demoPath, message)
                                     : qztool::writeDorDemoMovie(demoPath, message);
        if (!written) return refuse();
        std::cout << "wrote " << demoPath << ": 5 s of 320x240 " << (demoKrt ? "KRT" : "DOR")
                  << " video at 15 frames a second with a stereo IMA ADPCM soundtrack\n";
        return 0;
    }
    if (*demo) return qztool::runDemo(demoPath, std::cout, std::cerr);
    return 1;
}
