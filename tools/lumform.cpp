// Converts a form text file into the resource that carries its binary form stream:
//
//   lumform FORM.form OUT.res
//
// OUT.res holds one RCDATA resource named after the form's root class in upper case
// ("object OstrinForm: TOstrinForm" gives TOSTRINFORM).

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/res/LumResFile.h"

#include <fstream>
#include <iostream>
#include <iterator>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: lumform FORM.form OUT.res\n";
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            throw std::runtime_error(std::string("cannot read ") + argv[1]);
        }
        std::string text((std::istreambuf_iterator<char>(in)), {});
        TLumMemoryStream textStream(text);
        TLumMemoryStream binary;
        ObjectTextToBinary(textStream, binary);

        binary.SetPosition(0);
        TLumFormReader reader(binary);
        reader.ReadSignature();
        TObjectHeader header = reader.ReadObjectHeader();

        TResEntry entry;
        entry.Type = TResId::Of(kRtRcData);
        entry.Name = TResId::Of(AsciiToWide(header.ClassName));
        std::string bytes = binary.Bytes();
        entry.Data.assign(bytes.begin(), bytes.end());
        std::vector<std::uint8_t> res = WriteResFile({entry});
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(res.data()),
                  static_cast<std::streamsize>(res.size()));
        if (!out.flush()) {
            throw std::runtime_error(std::string("cannot write ") + argv[2]);
        }
        return 0;
    } catch (const Exception& error) {
        std::cerr << argv[1] << ": " << WideToUtf8(error.Message()) << "\n";
    } catch (const std::exception& error) {
        std::cerr << "lumform: " << error.what() << "\n";
    }
    return 1;
}
