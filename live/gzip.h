#pragma once

#include <QByteArray>
#include <string_view>

namespace kesta {

// `data` as a gzip stream (RFC 1952), for a request body sent with
// "Content-Encoding: gzip". Qt reads gzip but has no writer for it; zlib does both.
// Level 1: line protocol shrinks about tenfold even so, and the fast level keeps
// the compression well ahead of what a server takes in.
QByteArray Gzip(std::string_view data, int level = 1);

} // namespace kesta
