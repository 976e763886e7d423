// result[i] = sum_j matrix[i * width + j] * vector[j] for i < height.
// A work-group takes ROW_LANES-wide slices of its rows: the work-items form
// (local size / ROW_LANES) teams of ROW_LANES, each team one row at a time
// (rows first, first + rows per group x groups, ...). The team's work-items
// read the row in a coalesced stride of ROW_LANES, each keeping a partial
// sum, and the team adds its partial sums in local memory. Teams of 16
// rather than one row per group keep the rows per barrier high, which
// matters most on processor devices, where every barrier ends a loop over
// the whole group; on a GPU 16 consecutive floats are still one coalesced
// 64-byte read. The local size must be a multiple of ROW_LANES (it is 256).
#define ROW_LANES 16u

__kernel void MatVecMulCoalesced3(__global const float* matrix, __global const float* vector,
                                  uint width, uint height, __global float* result,
                                  __local float* partial)
{
    const uint lid = get_local_id(0);
    const uint lane = lid % ROW_LANES;
    const uint team = lid / ROW_LANES;
    const uint rowsPerPass = get_local_size(0) / ROW_LANES;
    const uint stride = get_num_groups(0) * rowsPerPass;
    // Every work-item runs the same number of passes, so all of them reach
    // every barrier; a team past the last row adds nothing.
    for (uint first = get_group_id(0) * rowsPerPass; first < height; first += stride) {
        const uint row = first + team;
        float sum = 0.0f;
        if (row < height) {
            __global const float* line = matrix + (size_t)row * width;
            for (uint j = lane; j < width; j += ROW_LANES)
                sum += line[j] * vector[j];
        }
        partial[lid] = sum;
        barrier(CLK_LOCAL_MEM_FENCE);
        for (uint span = ROW_LANES / 2; span > 0; span /= 2) {
            if (lane < span)
                partial[lid] += partial[lid + span];
            barrier(CLK_LOCAL_MEM_FENCE);
        }
        // Each work-item's slot is written again only by itself, after the
        // reduction's barriers, so the next pass needs no barrier here.
        if (lane == 0 && row < height)
            result[row] = partial[lid];
    }
}
