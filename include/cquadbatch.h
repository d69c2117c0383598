// The index list of the bond draw: 64 quads of four corners each, as two
// triangles per quad. The shader finds its bond from the instance and the
// vertex number, so no per-bond vertex data exists; the indices let each
// corner be shaded once.
#ifndef TESK_CQUADBATCH_H
#define TESK_CQUADBATCH_H

inline constexpr int QUADS_PER_INSTANCE = 64;

// Binds a new element buffer with the batch's indices to the vertex array
// `vao` and returns its name.
unsigned int MakeQuadBatchIndices(unsigned int vao);
// One instanced draw of `count` quads with the vertex array bound.
void DrawQuadBatches(unsigned count);

#endif
