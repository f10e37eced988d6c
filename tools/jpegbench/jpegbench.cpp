// jpegbench: decodes sets of JPEG files with our decoder and with libjpeg-turbo
// side by side and prints the time ratio ours / libjpeg-turbo per set.
//
// Sets: "demo" (the demo's 56 images from <data>/Textures, when present) and
// large generated images (2048 x 1536 in 4:2:0, 4:2:2 and 4:4:4, 2048 x 2048
// gray), encoded at start-up by libjpeg-turbo at quality 90.
// libjpeg-turbo decodes to RGBA in two set-ups: "float" (float IDCT, no fancy
// upsampling: the set-up the tests compare against) and "default" (integer
// IDCT, fancy upsampling).
#include "image/Jpg.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct FileSet {
    std::string name;
    std::vector<Bytes> files;
    size_t pixels = 0;
};

std::vector<FileSet> gSets;

Bytes encodeLarge(int w, int h, int comps, int hs, int vs) {
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * comps);
    unsigned state = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            state = state * 1103515245u + 12345u;
            const float fx = static_cast<float>(x) / w, fy = static_cast<float>(y) / h;
            const float ring = 0.5f + 0.5f * std::sin(std::sqrt((fx - 0.5f) * (fx - 0.5f) + (fy - 0.4f) * (fy - 0.4f)) * 60.0f);
            const int noise = static_cast<int>((state >> 16) % 13) - 6;
            for (int c = 0; c < comps; ++c) {
                int v = static_cast<int>(80.0f * ring + 150.0f * (c == 0 ? fx : (c == 1 ? fy : 1.0f - fx))) + noise;
                if (((x / 64) + (y / 64)) % 5 == 0) v = 255 - v;
                px[(static_cast<size_t>(y) * w + x) * comps + c] = static_cast<unsigned char>(std::clamp(v, 0, 255));
            }
        }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = comps;
    cinfo.in_color_space = comps == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (comps == 3) {
        cinfo.comp_info[0].h_samp_factor = hs;
        cinfo.comp_info[0].v_samp_factor = vs;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = px.data() + static_cast<size_t>(cinfo.next_scanline) * w * comps;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes b(out, out + size);
    std::free(out);
    return b;
}

size_t ourDecode(const Bytes& b, std::unique_ptr<unsigned char[]>* keep) {
    jpg::Image image;
    if (!jpg::decodeMemory(b.data(), b.size(), &image)) return 0;
    *keep = std::move(image.rgba);
    return static_cast<size_t>(image.width) * image.height;
}

// Like ours, each decode gets a new RGBA buffer (the loaders keep none).
size_t libDecode(const Bytes& b, bool floatSetup, std::unique_ptr<unsigned char[]>* out) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, b.data(), static_cast<unsigned long>(b.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (floatSetup) {
        cinfo.dct_method = JDCT_FLOAT;
        cinfo.do_fancy_upsampling = FALSE;
    }
    cinfo.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&cinfo);
    const size_t w = cinfo.output_width, h = cinfo.output_height;
    out->reset(new unsigned char[w * h * 4]);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->get() + static_cast<size_t>(cinfo.output_scanline) * w * 4;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return w * h;
}

void BM_Ours(benchmark::State& state, const FileSet* set) {
    std::unique_ptr<unsigned char[]> keep;
    size_t px = 0;
    for (auto _ : state) {
        for (const Bytes& b : set->files) px += ourDecode(b, &keep);
        benchmark::DoNotOptimize(keep.get());
    }
    state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(px) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Libjpeg(benchmark::State& state, const FileSet* set, bool floatSetup) {
    std::unique_ptr<unsigned char[]> out;
    size_t px = 0;
    for (auto _ : state) {
        for (const Bytes& b : set->files) px += libDecode(b, floatSetup, &out);
        benchmark::DoNotOptimize(out.get());
    }
    state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(px) / 1e6, benchmark::Counter::kIsRate);
}

// Remembers each benchmark's real time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
                cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times; // real time, ms
    std::map<std::string, double> cpu;   // CPU time of the thread, ms
};

bool loadDir(const std::string& dir, FileSet* set) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() > 4 && n.substr(n.size() - 4) == ".jpg") names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::unique_ptr<unsigned char[]> bytes;
        size_t size = 0;
        if (!jpg::readFile((dir + "/" + n).c_str(), &bytes, &size)) continue;
        Bytes b(bytes.get(), bytes.get() + size);
        jpg::Image probe;
        if (!jpg::decodeMemory(b.data(), b.size(), &probe)) {
            std::fprintf(stderr, "jpegbench: %s refused by our decoder, left out\n", n.c_str());
            continue;
        }
        set->pixels += static_cast<size_t>(probe.width) * probe.height;
        set->files.push_back(std::move(b));
    }
    return !set->files.empty();
}

} // namespace

int main(int argc, char** argv) {
    std::string data;
    if (const char* env = std::getenv("DEMO_DATA_DIR")) data = env;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--data=", 7) == 0)
            data = argv[i] + 7;
        else
            args.push_back(argv[i]);
    }
    if (data.empty()) data = JPEGBENCH_DEFAULT_DATA;

    FileSet demo;
    demo.name = "demo56";
    if (loadDir(data + "/Textures", &demo)) {
        std::printf("demo images: %zu files from %s/Textures, %.1f Mpixels\n", demo.files.size(), data.c_str(),
                    demo.pixels / 1e6);
        gSets.push_back(std::move(demo));
    } else {
        std::printf("demo images: none under %s/Textures (pass --data=DIR or set DEMO_DATA_DIR)\n", data.c_str());
    }
    struct Large {
        const char* name;
        int w, h, comps, hs, vs;
    };
    for (const Large& l : {Large{"large420", 2048, 1536, 3, 2, 2}, Large{"large422", 2048, 1536, 3, 2, 1},
                           Large{"large444", 2048, 1536, 3, 1, 1}, Large{"largegray", 2048, 2048, 1, 1, 1}}) {
        FileSet s;
        s.name = l.name;
        s.files.push_back(encodeLarge(l.w, l.h, l.comps, l.hs, l.vs));
        s.pixels = static_cast<size_t>(l.w) * l.h;
        gSets.push_back(std::move(s));
    }
    for (const FileSet& s : gSets) {
        benchmark::RegisterBenchmark(("ours/" + s.name).c_str(), BM_Ours, &s)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libjpeg_float/" + s.name).c_str(), BM_Libjpeg, &s, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libjpeg_default/" + s.name).c_str(), BM_Libjpeg, &s, false)
            ->Unit(benchmark::kMillisecond);
    }
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Both clocks: real time, and the thread's CPU time (steadier on a busy machine).
    for (int clock = 0; clock < 2; ++clock) {
        const std::map<std::string, double>& t = clock == 0 ? reporter.times : reporter.cpu;
        std::printf("\nratio ours / libjpeg-turbo, %s time per decode of the set (target <= 1.5 against float):\n",
                    clock == 0 ? "real" : "CPU");
        double oursAll = 0, floatAll = 0, defAll = 0;
        for (const FileSet& s : gSets) {
            const auto o = t.find("ours/" + s.name);
            const auto f = t.find("libjpeg_float/" + s.name);
            const auto d = t.find("libjpeg_default/" + s.name);
            if (o == t.end() || f == t.end() || d == t.end()) continue;
            std::printf("  %-10s ours %8.3f ms  libjpeg-turbo float %8.3f ms (ratio %.2f)  default %8.3f ms (ratio %.2f)\n",
                        s.name.c_str(), o->second, f->second, o->second / f->second, d->second, o->second / d->second);
            oursAll += o->second;
            floatAll += f->second;
            defAll += d->second;
        }
        if (floatAll > 0)
            std::printf("  %-10s ours %8.3f ms  libjpeg-turbo float %8.3f ms (ratio %.2f)  default %8.3f ms (ratio %.2f)\n",
                        "all", oursAll, floatAll, oursAll / floatAll, defAll, oursAll / defAll);
    }
    benchmark::Shutdown();
    return 0;
}
