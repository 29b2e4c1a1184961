// Writes the fuzzers' seed corpora: frames of real remotes as the device simulator produces
// them, every protocol of the table rendered and its IRP text, plus hand-made edge cases. Usage:
// make_fuzz_seeds <seeds folder>

#include "analysis/Analysis.h"
#include "analysis/ProtocolTable.h"
#include "frame/FrameFile.h"
#include "frame/PulseFrame.h"
#include "fuzz/checks/AnalysisTarget.h"
#include "tools/irsim/Protocol.h"
#include "tools/irsim/Remotes.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using irsim::Durations;

const std::string Signature(frame::DeviceSignature);

class SeedFolder {
public:
    SeedFolder(const fs::path& root, const std::string& target) : folder_(root / target) {
        fs::create_directories(folder_);
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", (folder_ / name).c_str());
            std::exit(1);
        }
    }

private:
    fs::path folder_;
};

struct NamedFrame {
    std::string name;
    Durations durations;
};

// Every remote at its nominal timing and as a jittery receiver captures it.
std::vector<NamedFrame> RemoteFrames() {
    std::vector<NamedFrame> frames;
    irsim::Receiver receiver(2024, irsim::Jitter{});
    for (const irsim::Remote remote : irsim::AllRemotes) {
        const irsim::RemoteCode code{remote, 0x1A, 0x2C, true};
        const Durations nominal = irsim::NominalFrame(code);
        const std::string name(irsim::RemoteName(remote));
        frames.push_back({name, nominal});
        frames.push_back({name + "_captured", receiver.Capture(nominal)});
    }
    return frames;
}

std::string WithLineEnds(std::string text, const std::string& end) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += end;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string FileText(int32_t mode, const Durations& durations) {
    frame::PulseFrame pulseFrame;
    std::copy(durations.begin(), durations.end(), pulseFrame.Durations.begin());
    pulseFrame.Count = static_cast<int32_t>(durations.size());
    pulseFrame.Mode = mode;
    return frame::FrameFileText(pulseFrame);
}

std::string Int32Bytes(int32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

void DeviceLineSeeds(const SeedFolder& seeds, const std::vector<NamedFrame>& frames) {
    for (const NamedFrame& f : frames) {
        seeds.Write("frame_" + f.name, irsim::FrameLine(f.durations));
    }
    const std::string nec = irsim::FrameLine(frames[0].durations);
    // Events: 1 connected, 2 disconnected, 3 check time-out, 4 invert, 5 emit the captured code,
    // 6 emit the frame, 7 a command sent.
    seeds.Write("session", "\x01\nOK\r\n+ATI: IR 1.0\r\nOK\r\n" + nec +
                               "\x04\n\x06\n\x05\n\x07\n\x02\nOK\r\n\x03\nOK\r\n");
    seeds.Write("empty_frame_then_emit", Signature + "\r\n\x05\n\x06\n" + Signature + ",\r\n");
    seeds.Write("edge_fields", Signature + ",560, 1690 ,,abc,-5\r\n");
    seeds.Write("edge_blanks", "  " + Signature + " ,9000\r\n");
    seeds.Write("edge_trailing", Signature + ",9000,4500, , \r\n" + Signature + ", \r\n");
    seeds.Write("edge_case", "HTTP://DEKODER-IR.FALQUIN.PL,560\r\n");
    seeds.Write("edge_tab", Signature + ",\t560,560\t\r\n");
    seeds.Write("ok_variants", "OK\r\nOK \r\nok\r\nOK\r\n\r\n");
    seeds.Write("ident", "+ATI: IR 1.0\r\nOK\r\nOK\r\n");
    seeds.Write("ident_frame", "+ATI: " + Signature + ",9000,4500,560\r\n");
    seeds.Write("ident_colon_first", "v2:+ATI: " + Signature + ",9000\r\n");
    seeds.Write("hex", Signature + ",$2328,0x1194,x230,X230,0X230,+560,$,0x\r\n");
    seeds.Write("extremes", Signature + ",2147483647,-2147483648,2147483648,-2147483649,"
                                        "99999999999999999999,$7FFFFFFF,-$80000000,$FFFFFFFF\r\n");
    std::string longLine = Signature;
    for (int i = 0; i < 400; ++i) {
        longLine += "," + std::to_string(100 + i);
    }
    seeds.Write("long_line", longLine + "\r\n");
    seeds.Write("shorter_after_longer", longLine + "\r\n" + Signature + ",1,2,3\r\n\x06\n");
    seeds.Write("lf_only", "OK\n" + Signature + ",9000,4500\n\x04\n");
}

void FrameFileSeeds(const SeedFolder& seeds, const std::vector<NamedFrame>& frames) {
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string text = FileText(static_cast<int32_t>(i % 2), frames[i].durations);
        seeds.Write("file_" + frames[i].name, text);
        if (i < 4) {
            seeds.Write("file_" + frames[i].name + "_lf", WithLineEnds(text, "\n"));
            seeds.Write("file_" + frames[i].name + "_cr", WithLineEnds(text, "\r"));
        }
    }
    seeds.Write("plain", "1\r\n9000\r\n4500\r\n560\r\n");
    seeds.Write("transmitter", "0\r\n560\r\n");
    seeds.Write("mode_not_a_number", "abc\r\n560\r\n");
    seeds.Write("mode_odd", "7\r\n560\r\n1690");
    seeds.Write("mode_extreme", "-2147483648\r\n2147483647\r\n0\r\n");
    seeds.Write("blank_line_inside", "1\r\n560\r\n\r\n560\r\n");
    seeds.Write("blank_line_at_end", "1\r\n560\r\n\r\n");
    seeds.Write("stop_value", "1\r\n560\r\n-1\r\n560\r\n");
    seeds.Write("blank_after_number", "1\r\n12 \r\n");
    seeds.Write("number_forms", "1\r\n 560\r\n+560\r\n$230\r\nx230\r\n0X230\r\n   00560\r\n");
    seeds.Write("negative_last", "1\r\n560\r\n-5\r\n");
    seeds.Write("negative_middle", "1\r\n-5\r\n560\r\n");
    seeds.Write("mixed_ends", "1\r560\n4500\r\n560\n\r1");
    seeds.Write("mode_only", "1\r\n");
    seeds.Write("tab", "1\r\n\t560\r\n");
    Durations full(frame::FrameCapacity, 560);
    seeds.Write("full", FileText(1, full));
    full.push_back(560);
    seeds.Write("one_too_many", FileText(1, full));
}

void TextFieldSeeds(const SeedFolder& seeds) {
    const char* const texts[] = {
        "560",
        "+560",
        "-5",
        "$230",
        "x230",
        "X230",
        "0x230",
        "0X230",
        "$aBcD",
        "2147483647",
        "-2147483648",
        "2147483648",
        "-2147483649",
        "",
        " 5",
        "5 ",
        "0x",
        "$",
        "-",
        "+",
        "abc",
        "0000000000000000000001",
        "$FFFFFFFF",
        "$80000000",
        "-$80000000",
        "\t5",
        ",560, 1690 ,,abc,-5",
        ":+ATI: IR",
        "--5",
        "+-5",
        "0x0x5",
        "99999999999999999999999",
        "1e3",
    };
    int i = 0;
    for (const char* text : texts) {
        seeds.Write("field_" + std::to_string(i++), text);
    }
}

void CTableSeeds(const SeedFolder& seeds, const std::vector<NamedFrame>& frames) {
    for (const int n : {0, 1, 2, 5, 6, 7, 10, 11, 12, 16, 300, 301}) {
        std::string bytes(1, '\0');
        for (int i = 0; i < n; ++i) {
            bytes += Int32Bytes(i % 2 == 0 ? 560 : 1690 - i);
        }
        seeds.Write("count_" + std::to_string(n), bytes);
    }
    for (const int32_t count : {-1, 302, INT32_MAX, INT32_MIN, 0, 3}) {
        std::string bytes = "\x01" + Int32Bytes(count);
        for (const int32_t d : {9000, -4500, 560, INT32_MIN, INT32_MAX, 65536}) {
            bytes += Int32Bytes(d);
        }
        seeds.Write("raw_count_" + std::to_string(count), bytes);
    }
    for (size_t f = 0; f < frames.size(); f += 2) {
        std::string bytes(1, '\0');
        for (const int32_t d : frames[f].durations) {
            bytes += Int32Bytes(d);
        }
        seeds.Write("frame_" + frames[f].name, bytes);
    }
}

// A protocol's name as a file name: "RCA(Old)" and "Keeprite A/C" hold characters a path must not.
std::string FileName(std::string name) {
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(uint8_t(c)) && c != '-' && c != '_'; }, '_');
    return name;
}

// Every protocol the analysis renders (with repeats), the simulator's remotes as a receiver
// captures them, signals glued together and the values no signal should hold.
void AnalysisSeeds(const SeedFolder& seeds, const std::vector<NamedFrame>& frames) {
    const auto write = [&](const std::string& name, const Durations& signal) {
        seeds.Write(name, analysis::fuzz::InputFromSignal(signal));
    };
    // Every protocol gets a seed: where a third of each range does not render (a row naming only
    // some device codes), other values are tried in turn.
    std::mt19937 random(7);
    for (const analysis::ProtocolInfo& info : analysis::Protocols()) {
        const std::string file = FileName("protocol_" + info.name);
        std::optional<Durations> rendered;
        for (int attempt = 0; attempt < 1000 && !rendered; ++attempt) {
            std::vector<analysis::Param> params;
            for (const analysis::ParamInfo& p : info.params) {
                const int64_t drawn = p.min + int64_t(random() % uint64_t(p.max - p.min + 1));
                params.push_back({p.name, !p.choices.empty()
                                              ? p.choices[random() % p.choices.size()]
                                          : attempt == 0 ? (p.min + p.max) / 3
                                                         : drawn});
            }
            rendered = analysis::Render(info.name, params, 2);
        }
        if (!rendered) {
            std::fprintf(stderr, "no seed for %s: nothing renders\n", info.name.c_str());
            std::exit(1);
        }
        write(file, *rendered);
    }
    Durations glued;
    for (const NamedFrame& frame : frames) {
        write("remote_" + frame.name, frame.durations);
        glued.insert(glued.end(), frame.durations.begin(), frame.durations.end());
        glued.push_back(30000);
    }
    write("remotes_glued", glued);
    write("empty", {});
    write("extremes", {0, -9000, INT32_MIN, INT32_MAX, 65535, -1, 1});
    write("nec_lead_only", {9000, 4500});
    write("nec_lead_zeros", {9000, 4500, 0, 0, 0, 0, 560});
}

// The IRP text of every row of the table: the notation as the protocols really use it. The
// hand-made seeds beside them hold the corners.
void IrpSeeds(const SeedFolder& seeds) {
    int row = 0;
    for (const analysis::detail::ProtocolRow& protocol : analysis::detail::BuiltInProtocols())
        seeds.Write(FileName("table_" + std::to_string(row++) + "_" + std::string(protocol.name)),
                    std::string(protocol.irp));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seeds folder>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const std::vector<NamedFrame> frames = RemoteFrames();
    DeviceLineSeeds(SeedFolder(root, "device_lines"), frames);
    FrameFileSeeds(SeedFolder(root, "frame_file"), frames);
    TextFieldSeeds(SeedFolder(root, "text_fields"));
    CTableSeeds(SeedFolder(root, "c_table"), frames);
    AnalysisSeeds(SeedFolder(root, "analysis"), frames);
    IrpSeeds(SeedFolder(root, "irp"));
    return 0;
}
