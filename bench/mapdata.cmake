# Map data reader: FindParcels with a cold and a warm block cache.
tevo_add_benchmark(NAME bench_mapdata SOURCES mapdata_bench.cpp LIBS tevo_mapdata tevo_mapwriter)
