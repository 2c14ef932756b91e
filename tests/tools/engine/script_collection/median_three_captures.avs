# From marukuru/AviSynthPlus-Median, README.md, "Multithreading":
# "Median(clip1, clip2, clip3, threads=1)" then "Prefetch(4)", the median of
# three captures of one tape; the captures are made here as one clip with
# three kinds of noise, and clip1..clip3 opened from them.
# media: capture1.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4,noise=alls=30:allf=t:all_seed=11 -c:v ffv1 -pix_fmt yuv420p
# media: capture2.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4,noise=alls=30:allf=t:all_seed=22 -c:v ffv1 -pix_fmt yuv420p
# media: capture3.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4,noise=alls=30:allf=t:all_seed=33 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=10 size=160x120 fps=25/1 audio=none
# video-md5: 087101e7beed01f8400429a73d7aab0d
clip1 = AviSource("capture1.avi")
clip2 = AviSource("capture2.avi")
clip3 = AviSource("capture3.avi")
Median(clip1, clip2, clip3, threads=1)
Prefetch(4)
