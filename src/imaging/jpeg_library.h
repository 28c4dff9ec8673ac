#pragma once
// What the JPEG readers share around libjpeg: its errors end in a longjmp
// back to the reader, and only the warnings that mean a broken picture stop
// a decode.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace imaging::jpeg {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo);
void emitMessage(j_common_ptr cinfo, int level);
void outputMessage(j_common_ptr cinfo);
// Points cinfo's errors at err, whose jump the caller sets before any call.
void useErrorManager(jpeg_decompress_struct& cinfo, ErrorManager& err);

}  // namespace imaging::jpeg
