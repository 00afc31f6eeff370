// Build step: writes the embedded sample record as a Windows-1251 file with
// CR LF line ends, so that the program folder holds Data/11111.Milman.Result.
#include "platform/Streams.h"
#include "profile/Record.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " OUTPUT\n";
        return 2;
    }
    try {
        const std::string text = profile::JoinRecordText(profile::SampleRecord());
        platform::WriteFileAtomically(argv[1], [&text](platform::TStream& stream) {
            stream.WriteBuffer(text.data(), text.size());
        });
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
