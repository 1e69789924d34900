// Reading the binary form of an R7D, R7P or R7T model into a Mesh.
//
//   R7D: one vertex table and one face table; each entity names a range of faces (firstFaceIndex,
//        numFaces) and becomes an object group of those faces (a face in several ranges belongs to the
//        first); faces in no range form one more group. A face's bitmapIndex below the number of bitmaps
//        selects its material.
//   R7P: every entity is a group of its meshes; face indices count from the mesh's first vertex; the
//        mesh's Bitmap value, when it is below the number of bitmaps, selects the material.
//   R7T: every record is a group, named after its entity; face indices count from the record's first
//        vertex; there are no bitmaps. The eight unnamed vertex values are read as position, normal and
//        texture coordinates: X Y Z, normal X Y Z, U V (the R7D/R7P vertex without its unused values).
//
// When there are no entities the one group is named `modelName`.
//
// Hostile input: nothing is read beyond `bytes`, and memory grows only with the records present: a count
// larger than the records that follow it reads the whole records there are and a warning says where the
// model ends; a negative R7P count reads nothing; a face corner below 0 or past its vertex table makes the
// face broken (MeshFace::outside) with a warning; an entity's face range is cut to the faces there are;
// a vertex value that is not finite (nan, inf) becomes 0. Warnings place themselves by text line when
// `fromText` says the bytes are the converter's output for a text form (the converter writes one record
// per line, in line order), else by byte offset. Work is linear in the size of `bytes`.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "view/mesh.hpp"

namespace bxa::view {

Mesh readMesh(ModelFormat format, std::span<const uint8_t> bytes, bool fromText, std::string_view modelName);

}  // namespace bxa::view
