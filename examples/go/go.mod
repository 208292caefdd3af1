module maskjpeg.example/decodeandrepair

go 1.19
