# Map data reader: FindParcels with a cold and a warm block cache; decoding a
# frame's parcels cold and pooled.
tevo_add_benchmark(NAME bench_mapdata SOURCES mapdata_bench.cpp LIBS tevo_mapdata tevo_mapwriter)
