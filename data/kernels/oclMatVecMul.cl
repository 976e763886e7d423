// result[i] = sum_j matrix[i * width + j] * vector[j] for i < height.
// A work-group takes one row at a time (rows group, group + groups, ...):
// its work-items read the row in a coalesced stride, each keeping a partial
// sum, and the group adds the partial sums in local memory.
__kernel void MatVecMulCoalesced3(__global const float* matrix, __global const float* vector,
                                  uint width, uint height, __global float* result,
                                  __local float* partial)
{
    const uint lid = get_local_id(0);
    const uint size = get_local_size(0);
    for (uint row = get_group_id(0); row < height; row += get_num_groups(0)) {
        __global const float* line = matrix + (size_t)row * width;
        float sum = 0.0f;
        for (uint j = lid; j < width; j += size)
            sum += line[j] * vector[j];
        partial[lid] = sum;
        barrier(CLK_LOCAL_MEM_FENCE);
        for (uint span = size / 2; span > 0; span /= 2) {
            if (lid < span)
                partial[lid] += partial[lid + span];
            barrier(CLK_LOCAL_MEM_FENCE);
        }
        if (lid == 0)
            result[row] = partial[0];
        barrier(CLK_LOCAL_MEM_FENCE);
    }
}
